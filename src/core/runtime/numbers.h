// SPDX-License-Identifier: GPL-3.0-or-later
// Runtime number rules shared by every subsystem: the leading-number parse of field texts,
// half-even rounding, the general number text, and checked conversions that raise a Fault
// where the runtime raises an error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvenar {

// The longest leading part of `text`, after blanks, that reads as a decimal number: optional
// sign, digits with an optional full stop, optional exponent (e or E, optional sign, digits).
// 0 when there is none. A full stop is the separator whatever the locale. A magnitude beyond the
// double range raises FaultKind::Overflow; one below it reads as 0.
double parse_leading_number(std::string_view text);

// True when `text`, blanks around it aside, is wholly one number in that syntax: "12abc", "1e"
// and "" are not, where the leading parse reads 12, 1 and 0.
bool is_number_text(std::string_view text);

// `value` rounded to `decimals` places (0..15), halves to the even neighbour, decided on the exact
// binary value (0.125 -> 0.12, 0.375 -> 0.38, 2.675 -> 2.67 since 2.675 is stored below the half).
// Never returns negative zero.
double round_half_even(double value, int decimals);

// Shortest general text: up to 15 significant digits for a double and 7 for a single, no trailing
// zeros, no point for a whole number, no thousands separators, full stop as separator. Exponent
// form ("1.5E+16", "1E-05") below 1E-04 and from 1E+15 (double) or 1E+07 (single) up.
std::string number_text(double value);
std::string number_text(float value);

// A value rounded half-even to `decimals` places, then written as number text. A single keeps
// single precision: it is rounded on its own binary value and written with up to 7 digits.
std::string rounded_text(double value, int decimals);
std::string rounded_text(float value, int decimals);

// A value rounded to `digits` significant digits (1..15), then written as number text: a scale
// such as a persistence of 3104.7 reads "3100", of 0.0035149 "0.00351".
std::string significant_text(double value, int digits);

// Checked conversions. Halves round to even; a result outside the target range (or a NaN)
// raises FaultKind::Overflow.
std::int16_t to_int16(double value);
std::int32_t to_int32(double value);
float to_single(double value);  // nearest float; a finite value beyond the float range overflows

// a / b as the runtime divides: b == 0 raises DivisionByZero, or Overflow when a is 0 too;
// a quotient beyond the double range raises Overflow.
double checked_divide(double a, double b);

}  // namespace tolvenar
