// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tolvenar {

// The runtime errors a routine can raise. Each trap in the program answers all of them alike;
// the kind is kept for the command line's messages and for tests.
enum class FaultKind {
    Overflow,              // a value beyond its 16-bit, 32-bit or single-precision range
    DivisionByZero,        // x / 0 with x != 0 (0 / 0 is an Overflow, as the runtime reports it)
    IndexOutOfRange,       // a table or array read outside its bounds
    InvalidPropertyValue,  // a control property refused, e.g. a zero plot scale extent
    TypeMismatch,          // a text cell used as a number
};

std::string_view fault_kind_name(FaultKind kind);

// A runtime fault. It ends the running routine and travels to the nearest caller that traps it.
class Fault : public std::runtime_error {
public:
    Fault(FaultKind kind, std::string_view where);

    // A division by zero: DivisionByZero, or Overflow for 0 / 0, as the runtime reports them.
    // The search tells a candidate whose break points coincide by it.
    static Fault zero_divisor(double numerator, std::string_view where);

    FaultKind kind() const noexcept { return m_kind; }
    const std::string& where() const noexcept { return m_where; }
    bool is_zero_divisor() const noexcept { return m_zero_divisor; }

private:
    FaultKind m_kind;
    std::string m_where;
    bool m_zero_divisor = false;
};

}  // namespace tolvenar
