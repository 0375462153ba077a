// SPDX-License-Identifier: GPL-3.0-or-later
// The vertical range of both plots: the top field (Text1) holds the value at the plots' top edge,
// the bottom field (Text2) the value at their bottom edge.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tolvenar {

// Equal texts in the two fields cannot be a range: the field typed moves one unit away from the
// other (the top above the bottom, the bottom below the top). nullopt while the texts differ; a
// value beyond the double range raises Overflow.
std::optional<std::string> range_tie(std::string_view top_text, std::string_view bottom_text,
                                     bool top_typed);

struct VerticalScale {
    float top = 0.0f;
    float height = 0.0f;
};

// The scale from `top` to `bottom` in single precision. A zero extent (5 and 5.0, or a flip
// through 0 to 0) is no scale: nullopt. A value beyond the single range raises Overflow.
std::optional<VerticalScale> vertical_scale(double top, double bottom);

// "Flip vertical": the texts the top and the bottom field take, each the other's value in single
// precision. A value beyond the single range raises Overflow.
struct FlippedRange {
    std::string top;
    std::string bottom;
};
FlippedRange flipped_range(std::string_view top_text, std::string_view bottom_text);

// One of several series drawn on a plot of another's scale: its values from `lo` to `hi` over
// the middle nine tenths of the plot's values from `top` over `height`, the smallest value
// nearest the plot's smallest (so a flipped plot flips it too); a series of one value at the
// middle.
struct SeriesScale {
    double offset = 0.0;
    double factor = 0.0;
    double operator()(double y) const { return offset + factor * y; }
};
SeriesScale series_scale(double lo, double hi, double top, double height);

}  // namespace tolvenar
