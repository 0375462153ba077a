// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/numbers.h"

#include "core/runtime/fault.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tolvenar {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the leading number syntax of `s` (s starts at the sign or the first digit), 0 if none.
std::size_t number_syntax_length(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && is_digit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && is_digit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && is_digit(s[j])) {
            while (j < s.size() && is_digit(s[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

// Rounds half to even on an exact halfway value, otherwise to nearest.
double round_whole_half_even(double value)
{
    const double floor_value = std::floor(value);
    const double diff = value - floor_value;  // exact for |value| < 2^52
    if (diff > 0.5)
        return floor_value + 1.0;
    if (diff < 0.5)
        return floor_value;
    return std::fmod(floor_value, 2.0) == 0.0 ? floor_value : floor_value + 1.0;
}

// General text with at most `precision` significant digits.
std::string general_text(double value, int precision)
{
    if (value == 0.0)
        return "0";
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value > 0 ? "Inf" : "-Inf");

    std::array<char, 64> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                   std::chars_format::scientific, precision - 1);
    (void)ec;
    const std::string_view sci(buf.data(), static_cast<std::size_t>(end - buf.data()));
    const std::size_t e_pos = sci.find('e');
    const bool negative = sci.front() == '-';
    std::string mantissa_digits;
    for (char c : sci.substr(0, e_pos))
        if (is_digit(c))
            mantissa_digits += c;
    while (mantissa_digits.size() > 1 && mantissa_digits.back() == '0')
        mantissa_digits.pop_back();
    int exponent = 0;
    std::from_chars(sci.data() + e_pos + 1 + (sci[e_pos + 1] == '+'), sci.data() + sci.size(),
                    exponent);

    std::string text = negative ? "-" : "";
    if (exponent < -4 || exponent >= precision) {
        text += mantissa_digits.front();
        if (mantissa_digits.size() > 1) {
            text += '.';
            text += mantissa_digits.substr(1);
        }
        text += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            text += '0';
        text += std::to_string(magnitude);
    } else if (exponent < 0) {
        text += "0.";
        text.append(static_cast<std::size_t>(-exponent - 1), '0');
        text += mantissa_digits;
    } else {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (mantissa_digits.size() <= whole) {
            text += mantissa_digits;
            text.append(whole - mantissa_digits.size(), '0');
        } else {
            text += mantissa_digits.substr(0, whole);
            text += '.';
            text += mantissa_digits.substr(whole);
        }
    }
    return text;
}

template <typename Int>
Int to_integer(double value)
{
    if (std::isnan(value))
        throw Fault(FaultKind::Overflow, "integer conversion");
    const double rounded = round_whole_half_even(value);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        throw Fault(FaultKind::Overflow, "integer conversion");
    return static_cast<Int>(rounded);
}

}  // namespace

bool is_number_text(std::string_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return !text.empty() && number_syntax_length(text) == text.size();
}

double parse_leading_number(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size() && is_blank(text[start]))
        ++start;
    const std::string_view rest = text.substr(start);
    const std::size_t length = number_syntax_length(rest);
    if (length == 0)
        return 0.0;

    // from_chars takes no leading '+'.
    std::string_view number = rest.substr(0, length);
    if (number.front() == '+')
        number.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Tell overflow from underflow by reading the number in the wider type.
        long double wide = 0.0L;
        std::from_chars(number.data(), number.data() + number.size(), wide);
        if (std::fabs(wide) > static_cast<long double>(std::numeric_limits<double>::max()))
            throw Fault(FaultKind::Overflow, "number parse");
        return static_cast<double>(wide);
    }
    return value;
}

double round_half_even(double value, int decimals)
{
    if (!std::isfinite(value) || decimals < 0 || decimals > 15)
        return value;
    // The fixed-point text of the exact binary value, rounded half to even, read back.
    std::array<char, 400> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                                   std::chars_format::fixed, decimals);
    if (ec != std::errc{})
        return value;
    double rounded = 0.0;
    std::from_chars(buf.data(), end, rounded);
    return rounded == 0.0 ? 0.0 : rounded;
}

std::string number_text(double value)
{
    return general_text(value, 15);
}

std::string number_text(float value)
{
    return general_text(static_cast<double>(value), 7);
}

std::string rounded_text(double value, int decimals)
{
    return number_text(round_half_even(value, decimals));
}

std::string rounded_text(float value, int decimals)
{
    return number_text(static_cast<float>(round_half_even(static_cast<double>(value), decimals)));
}

std::string significant_text(double value, int digits)
{
    // The exponent form's digits are the rounding; the number text then drops its exponent.
    char text[40];
    std::snprintf(text, sizeof text, "%.*e", std::clamp(digits, 1, 15) - 1, value);
    return number_text(std::strtod(text, nullptr));
}

std::int16_t to_int16(double value)
{
    return to_integer<std::int16_t>(value);
}

std::int32_t to_int32(double value)
{
    return to_integer<std::int32_t>(value);
}

float to_single(double value)
{
    if (std::isnan(value))
        throw Fault(FaultKind::Overflow, "single conversion");
    const auto single = static_cast<float>(value);
    if (std::isinf(single))
        throw Fault(FaultKind::Overflow, "single conversion");
    return single;
}

double checked_divide(double a, double b)
{
    if (b == 0.0)
        throw Fault::zero_divisor(a, "division");
    const double quotient = a / b;
    if (!std::isfinite(quotient))
        throw Fault(FaultKind::Overflow, "division");
    return quotient;
}

}  // namespace tolvenar
