// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/fault.h"

namespace tolvenar {

std::string_view fault_kind_name(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Overflow: return "overflow";
    case FaultKind::DivisionByZero: return "division by zero";
    case FaultKind::IndexOutOfRange: return "index out of range";
    case FaultKind::InvalidPropertyValue: return "invalid property value";
    case FaultKind::TypeMismatch: return "type mismatch";
    }
    return "fault";
}

namespace {
std::string message_of(FaultKind kind, std::string_view where)
{
    std::string text(fault_kind_name(kind));
    if (!where.empty()) {
        text += " in ";
        text += where;
    }
    return text;
}
}  // namespace

Fault::Fault(FaultKind kind, std::string_view where)
    : std::runtime_error(message_of(kind, where)), m_kind(kind), m_where(where)
{
}

Fault Fault::zero_divisor(double numerator, std::string_view where)
{
    Fault fault(numerator == 0.0 ? FaultKind::Overflow : FaultKind::DivisionByZero, where);
    fault.m_zero_divisor = true;
    return fault;
}

}  // namespace tolvenar
