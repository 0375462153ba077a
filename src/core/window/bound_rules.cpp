// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/bound_rules.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <optional>

namespace tolvenar {

namespace {

// The window and plot scale checked whole before anything moves; nullopt where applying them
// would fault.
std::optional<TypedBound> applicable(double left, double width, double plot_left,
                                     double plot_width)
{
    try {
        TypedBound bound{BoundAction::Apply, to_single(left), to_single(width),
                         to_single(plot_left), to_single(plot_width), {}};
        if (bound.width < 0.0f || bound.plot_width == 0.0f)
            return std::nullopt;
        return bound;
    } catch (const Fault&) {
        return std::nullopt;
    }
}

TypedBound repaired_to(double value)
{
    TypedBound bound;
    bound.action = BoundAction::Repair;
    bound.repair = number_text(round_half_even(value, 0));
    return bound;
}

}  // namespace

TypedBound typed_left_edge(std::string_view left_text, std::string_view right_text,
                           bool crop_drawn)
{
    if (left_text != right_text) {
        if (!crop_drawn)
            return {};
        try {
            const double left = parse_leading_number(left_text);
            const double right = parse_leading_number(right_text);
            if (auto bound = applicable(left, right - left, left, right - left))
                return *bound;
        } catch (const Fault&) {
        }
    }
    return repaired_to(parse_leading_number(right_text) - 1.5);
}

TypedBound typed_right_edge(std::string_view left_text, std::string_view right_text,
                            bool crop_drawn)
{
    if (left_text != right_text) {
        if (!crop_drawn)
            return {};
        try {
            const double left = parse_leading_number(left_text);
            const double right = parse_leading_number(right_text);
            const auto bound = right > left
                                   ? applicable(left, right - left, left, right - left)
                                   : applicable(right, left - right, left, right - left);
            if (bound)
                return *bound;
        } catch (const Fault&) {
        }
    }
    return repaired_to(parse_leading_number(left_text) + 1.5);
}

StripEnds typed_strip_end(std::string_view left_text, std::string_view right_text,
                          bool left_typed)
{
    double left = 0.0;
    double right = 0.0;
    try {
        left = parse_leading_number(left_text);
        right = parse_leading_number(right_text);
    } catch (const Fault&) {
        return {};  // beyond the double range: refused like a value beyond the single range
    }
    if (right <= left) {
        const double repaired = left_typed ? right - 1.0 : left + 1.0;
        return {BoundAction::Repair, 0.0f, 0.0f, number_text(repaired)};
    }
    try {
        const StripEnds ends{BoundAction::Apply, to_single(left), to_single(right - left), {}};
        return ends.width != 0.0f ? ends : StripEnds{};
    } catch (const Fault&) {
        return {};
    }
}

}  // namespace tolvenar
