// SPDX-License-Identifier: GPL-3.0-or-later
// The boxes under the mouse on the working plot: the constraint-box edge a drag takes and the
// levels the family ties together, and the manual box drawn with the left button.
#pragma once

#include "core/model/model.h"
#include "core/model/family.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tolvenar {

// Slot of vertex k in the per-vertex arrays; k outside 0..6 raises IndexOutOfRange.
std::size_t vertex_slot(int k);

// Which limit of a constraint box an edge drag moves.
enum class BoxEdge : std::int16_t { None = 0, XMin = 1, YMax = 2, XMax = 3, YMin = 4 };

struct EdgeHit {
    std::int16_t box = 0;  // vertex 1..6 whose box edge is under the mouse; 0 none
    BoxEdge edge = BoxEdge::None;
    bool missed = false;  // no edge after interior boxes were looked at: the arrow pointer
};

// The first edge of the constraint `boxes` of a family of `vertices` within a hundredth of the
// plot's scale width (x) or height (y) of (x, y). Interior boxes 2..vertices - 1 answer on all
// four edges, within the box's span; the end boxes, strokes on the plot's left and right edges,
// only at their ends.
EdgeHit box_edge_at(const BoxLimits& boxes, std::int16_t vertices, float x, float y,
                    float scale_width, float scale_height);

// An edge drag step: the box's limit takes x or y; vertices whose levels the family ties
// together share it (their boxes' y limits move with it).
void move_box_edge(BoxLimits& boxes, std::optional<ModelFamily> family, std::int16_t box,
                   BoxEdge edge, float x, float y);

// Manual box n of `boxes`: pressed at (x, y) (the first box holds vertex 1 and starts on the
// plot's left edge), followed to (x, y) with its right edge held within the plot, released at
// (x, y) with its limits put in order and, the sixth box, stretched to the plot's right edge.
// The plot's right edge beyond the single range raises Overflow after the box took the mouse's
// point.
void start_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left);
void follow_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left,
                float plot_width);
void finish_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left,
                float plot_width);

}  // namespace tolvenar
