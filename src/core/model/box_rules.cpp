// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/box_rules.h"

#include "core/model/single_ops.h"
#include "core/runtime/fault.h"

#include <utility>

namespace tolvenar {

namespace {

// Distance tests against the edge tolerance, compared squared.
class EdgeTolerance {
public:
    EdgeTolerance(float scale_width, float scale_height)
        : m_x(square(scale_width / 100.0)), m_y(square(scale_height / 100.0))
    {
    }
    bool nearX(float x, float edge) const { return square(static_cast<double>(x) - edge) < m_x; }
    bool nearY(float y, float edge) const { return square(static_cast<double>(y) - edge) < m_y; }

private:
    static double square(double value) { return value * value; }
    double m_x;
    double m_y;
};

bool strictly_between(float low, float value, float high)
{
    return low < value && value < high;
}

// Vertices whose levels the family ties together share the y limits of box e, among the
// boxes of the family's vertices.
void tie_levels(BoxLimits& boxes_of, std::optional<ModelFamily> family, std::size_t e)
{
    if (!family || drawn_family(family))
        return;
    const FamilyRow& row = family_row(*family);
    const auto boxes = static_cast<std::size_t>(row.vertices);
    if (e > boxes)
        return;
    for (std::size_t k = 1; k <= boxes; ++k) {
        if (row.level_of[k] == row.level_of[e]) {
            boxes_of.ymin[k] = boxes_of.ymin[e];
            boxes_of.ymax[k] = boxes_of.ymax[e];
        }
    }
}

float plot_right(float plot_left, float plot_width)
{
    return single::add(plot_left, plot_width, "Picture1");
}

}  // namespace

std::size_t vertex_slot(int k)
{
    if (k < 0 || k > 6)
        throw Fault(FaultKind::IndexOutOfRange, "vertex");
    return static_cast<std::size_t>(k);
}

EdgeHit box_edge_at(const BoxLimits& boxes, std::int16_t vertices, float x, float y,
                    float scale_width, float scale_height)
{
    const EdgeTolerance near(scale_width, scale_height);
    const auto hit = [](int k, BoxEdge edge) {
        return EdgeHit{static_cast<std::int16_t>(k), edge};
    };
    EdgeHit miss;
    for (int k = 2; k <= vertices - 1; ++k) {
        const std::size_t i = vertex_slot(k);
        const bool within_y = strictly_between(boxes.ymin[i], y, boxes.ymax[i]);
        const bool within_x = strictly_between(boxes.xmin[i], x, boxes.xmax[i]);
        if (near.nearX(x, boxes.xmin[i])) {
            if (within_y)
                return hit(k, BoxEdge::XMin);
        } else if (near.nearX(x, boxes.xmax[i])) {
            if (within_y)
                return hit(k, BoxEdge::XMax);
        }
        if (near.nearY(y, boxes.ymin[i])) {
            if (within_x)
                return hit(k, BoxEdge::YMin);
        } else if (near.nearY(y, boxes.ymax[i])) {
            if (within_x)
                return hit(k, BoxEdge::YMax);
        }
        miss.missed = true;
    }
    const std::size_t first = vertex_slot(1);
    if (near.nearX(x, boxes.xmax[first])) {
        if (near.nearY(y, boxes.ymin[first]))
            return hit(1, BoxEdge::YMin);
        if (near.nearY(y, boxes.ymax[first]))
            return hit(1, BoxEdge::YMax);
    }
    const std::size_t last = vertex_slot(vertices);
    if (near.nearX(x, boxes.xmin[last])) {
        if (near.nearY(y, boxes.ymin[last]))
            return hit(vertices, BoxEdge::YMin);
        if (near.nearY(y, boxes.ymax[last]))
            return hit(vertices, BoxEdge::YMax);
    }
    return miss;
}

void move_box_edge(BoxLimits& boxes, std::optional<ModelFamily> family, std::int16_t box,
                   BoxEdge edge, float x, float y)
{
    const std::size_t e = vertex_slot(box);
    switch (edge) {
    case BoxEdge::XMin: boxes.xmin[e] = x; break;
    case BoxEdge::XMax: boxes.xmax[e] = x; break;
    case BoxEdge::YMin: boxes.ymin[e] = y; break;
    case BoxEdge::YMax: boxes.ymax[e] = y; break;
    case BoxEdge::None: return;  // the pointer outlived its hit: nothing moves
    }
    tie_levels(boxes, family, e);
}

void start_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left)
{
    boxes.xmin[n] = n == 1 ? plot_left : x;
    boxes.ymin[n] = y;
}

void follow_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left,
                float plot_width)
{
    boxes.xmax[n] = x;
    boxes.ymax[n] = y;
    const float right = plot_right(plot_left, plot_width);
    if (right < boxes.xmax[n])
        boxes.xmax[n] = right;
}

void finish_box(BoxLimits& boxes, std::size_t n, float x, float y, float plot_left,
                float plot_width)
{
    boxes.xmax[n] = x;  // beyond the right edge it stays where it was released
    boxes.ymax[n] = y;
    if (boxes.xmin[n] > boxes.xmax[n])
        std::swap(boxes.xmin[n], boxes.xmax[n]);
    if (boxes.ymin[n] > boxes.ymax[n])
        std::swap(boxes.ymin[n], boxes.ymax[n]);
    // The sixth box holds the last vertex, which lies on the plot's right edge.
    const float right = plot_right(plot_left, plot_width);
    if (n == 6 && right > boxes.xmax[6])
        boxes.xmax[6] = right;
}

}  // namespace tolvenar
