// SPDX-License-Identifier: GPL-3.0-or-later
// The crop window on the overview strip under the mouse: which part of it a press grabs, and
// where each step of a drag puts it. All values are in the strip's x units.
#pragma once

#include "core/runtime/fault.h"

#include <optional>

namespace tolvenar {

enum class StripGrip { Outside, LeftEdge, RightEdge, Inside };

// Where x lies against the crop window [left, left + width] on a strip strip_width wide: within
// strip_width / 200 of the left edge (tested first), of the right edge, strictly inside, or
// elsewhere.
StripGrip strip_grip(float x, float left, float width, float strip_width);

struct CropWindow {
    float left = 0.0f;
    float width = 0.0f;
};

struct StripScale {
    float left = 0.0f;
    float width = 0.0f;
};

// The writes of one drag step to the crop window; a field keeps its last write, so their order
// does not matter. A width that would be negative is not written (the window refuses it). A value
// beyond the single range stops the step: the writes before it stand and `fault` tells why.
struct WindowEdit {
    std::optional<float> left;
    std::optional<float> width;
    std::optional<FaultKind> fault;
};

// The whole window to x - grab_offset, kept on the strip: not before its start, else not past
// its end.
WindowEdit move_window(float x, float grab_offset, CropWindow window, StripScale strip);

// The right edge to x while the window stays wider than a hundredth of the strip; a right edge
// past the strip's end is pulled back to it.
WindowEdit drag_right_edge(float x, CropWindow window, StripScale strip);

// The left edge to x, the right edge held at anchor_right, while the window stays wider than a
// hundredth of the strip; a left edge below x = 0 is put at 0.
WindowEdit drag_left_edge(float x, float anchor_right, CropWindow window, StripScale strip);

// The pixel columns an event from `onset` to `end` (strip x) covers on a strip of `columns`
// columns that shows [left, left + width]: at least one column wide however short the event,
// cut at the strip's ends; nullopt when it lies wholly off the strip.
struct ColumnSpan {
    int first = 0;
    int last = 0;
    bool operator==(const ColumnSpan&) const = default;
};
std::optional<ColumnSpan> event_columns(double onset, double end, double left, double width,
                                        int columns);

}  // namespace tolvenar
