// SPDX-License-Identifier: GPL-3.0-or-later
// Checked single-precision operations of the model engine. An operation on two singles is done
// and rounded in single precision; a result beyond the single range raises Overflow and a zero
// divisor DivisionByZero (0 / 0: Overflow), as the runtime reports them.
#pragma once

#include "core/runtime/fault.h"

#include <cmath>

namespace tolvenar::single {

inline float finite(float value, const char* where)
{
    if (!std::isfinite(value))
        throw Fault(FaultKind::Overflow, where);
    return value;
}

inline float add(float a, float b, const char* where) { return finite(a + b, where); }
inline float sub(float a, float b, const char* where) { return finite(a - b, where); }
inline float mul(float a, float b, const char* where) { return finite(a * b, where); }

inline float div(float a, float b, const char* where)
{
    if (b == 0.0f)
        throw Fault::zero_divisor(a, where);
    return finite(a / b, where);
}

// A single squared in double precision, as the squares of the fit measures and slopes are formed.
inline double square(float value)
{
    const auto wide = static_cast<double>(value);
    return wide * wide;
}

}  // namespace tolvenar::single
