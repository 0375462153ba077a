// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/range_rules.h"

#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>

namespace tolvenar {

std::optional<std::string> range_tie(std::string_view top_text, std::string_view bottom_text,
                                     bool top_typed)
{
    if (top_text != bottom_text)
        return std::nullopt;
    return top_typed ? number_text(parse_leading_number(bottom_text) + 1.0)
                     : number_text(parse_leading_number(top_text) - 1.0);
}

std::optional<VerticalScale> vertical_scale(double top, double bottom)
{
    const VerticalScale scale{to_single(top), to_single(bottom - top)};
    if (scale.height == 0.0f)
        return std::nullopt;
    return scale;
}

FlippedRange flipped_range(std::string_view top_text, std::string_view bottom_text)
{
    const float top = to_single(parse_leading_number(top_text));
    const float bottom = to_single(parse_leading_number(bottom_text));
    return {number_text(bottom), number_text(top)};
}

SeriesScale series_scale(double lo, double hi, double top, double height)
{
    const double low = std::min(top, top + height);
    const double span = std::fabs(height);
    if (!(hi > lo))
        return {low + span / 2.0, 0.0};
    const double factor = 0.9 * span / (hi - lo);
    return {low + 0.05 * span - factor * lo, factor};
}

}  // namespace tolvenar
