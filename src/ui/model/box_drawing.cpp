// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing of the manual and constraint boxes on the working plot. Neither routine clears,
// persists or refreshes the plot; both leave the draw width at 1.
#include "core/model/box_rules.h"
#include "core/model/single_ops.h"
#include "core/runtime/numbers.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"
#include "ui/plot/model_drawings.h"

namespace tolvenar {

namespace {

// The last interior vertex of the family's model: its boxes 2..L get a sampling frame, and
// L + 1 is the vertex on the plot's right edge.
int last_interior_vertex(std::optional<ModelFamily> family, std::int16_t node_count)
{
    if (!family)
        return 4;
    const std::int16_t vertices = family_row(*family).vertices;
    return (vertices == 0 ? node_count : vertices) - 1;
}

// The draw width goes back to 1 however the drawing ends.
class DrawWidthBack {
public:
    explicit DrawWidthBack(PictureBox& plot) : m_plot(plot) {}
    ~DrawWidthBack() { m_plot.setDrawWidth(1); }
    DrawWidthBack(const DrawWidthBack&) = delete;
    DrawWidthBack& operator=(const DrawWidthBack&) = delete;

private:
    PictureBox& m_plot;
};

}  // namespace

void draw_manual_boxes(frmMain& w, const BoxLimits& boxes, std::int16_t count)
{
    for (int k = 1; k <= count; ++k) {
        const std::size_t i = vertex_slot(k);
        w.Picture1->Line(boxes.xmin[i], boxes.ymin[i], boxes.xmax[i], boxes.ymax[i],
                         kManualBoxPink, LineKind::Box);
    }
}

void frmMain::DrawBox()
{
    draw_manual_boxes(*this, session.manual_boxes(), session.vertices());
}

void frmMain::DrawConstraint()
{
    const std::optional<ModelFamily> family = selected_family(*this);
    if (drawn_family(family))
        DrawBox();
    const int last = last_interior_vertex(family, session.vertices());
    const BoxLimits boxes = session.constraint_boxes();
    const DrawWidthBack width_back(*Picture1);
    constexpr const char* where = "DrawConstraint";

    // Where the constrained search draws the interior vertices: each box widened by a tenth of
    // its width and height on every side.
    for (int k = 2; k <= last; ++k) {
        const std::size_t i = vertex_slot(k);
        const double w = single::sub(boxes.xmax[i], boxes.xmin[i], where);
        const double h = single::sub(boxes.ymax[i], boxes.ymin[i], where);
        Picture1->Line(to_single(boxes.xmin[i] - 0.1 * w), to_single(boxes.ymin[i] - 0.1 * h),
                       to_single(boxes.xmax[i] + 0.1 * w), to_single(boxes.ymax[i] + 0.1 * h),
                       kSamplingFrame, LineKind::Box);
    }
    // The boxes themselves; those of the end vertices are normally strokes on the plot's edges.
    for (int k = 1; k <= last + 1; ++k) {
        const std::size_t i = vertex_slot(k);
        Picture1->setDrawWidth(k == 1 ? 3 : k == last + 1 ? 5 : 2);
        Picture1->Line(boxes.xmin[i], boxes.ymin[i], boxes.xmax[i], boxes.ymax[i],
                       kConstraintGreen, LineKind::Box);
    }
}

}  // namespace tolvenar
