// SPDX-License-Identifier: GPL-3.0-or-later
// Typed x bounds: the crop window's edges (Text4, Text5) and the overview strip's ends (Text7,
// Text8). Each field's text is read as its leading number; a rule answers with what to apply or
// with the text that repairs the typed field.
#pragma once

#include <string>
#include <string_view>

namespace tolvenar {

enum class BoundAction { None, Apply, Repair };

// A typed crop window edge: the window [left, left + width] and the working plot's x scale to
// apply, or the repair text of the typed field.
struct TypedBound {
    BoundAction action = BoundAction::None;
    float left = 0.0f;
    float width = 0.0f;
    float plot_left = 0.0f;
    float plot_width = 0.0f;  // negative for a right edge typed below the left one
    std::string repair;
};

// The left edge typed. Before the first crop only equal texts act. Equal texts, a value beyond
// the single range, a negative width or a zero plot width repair the left edge to the right
// edge - 1.5, rounded half to even; a right text beyond the double range then raises Overflow.
TypedBound typed_left_edge(std::string_view left_text, std::string_view right_text,
                           bool crop_drawn);

// The right edge typed; one below the left edge is taken as it stands (the window spans the two
// values). Its repair is the left edge + 1.5, rounded half to even.
TypedBound typed_right_edge(std::string_view left_text, std::string_view right_text,
                            bool crop_drawn);

// A typed strip end: the strip's x scale [left, left + width] to apply, or, for ends out of order,
// the typed end repaired to one unit from the other, unrounded. Values beyond the single (or
// double) range and a zero width are refused: nothing happens.
struct StripEnds {
    BoundAction action = BoundAction::None;
    float left = 0.0f;
    float width = 0.0f;
    std::string repair;
};

StripEnds typed_strip_end(std::string_view left_text, std::string_view right_text,
                          bool left_typed);

}  // namespace tolvenar
