// SPDX-License-Identifier: GPL-3.0-or-later
// Box editing on the working plot: manual boxes drawn with the left button for "Manual
// constraint", the edges of the constraint boxes dragged while a result and its boxes are
// shown, the plot's popup menu, and the "Constrain" check box.
#include "core/model/single_ops.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"

#include <initializer_list>
#include <utility>

namespace tolvenar {

namespace {

// Pointer shapes of the edge hit test.
constexpr int kArrow = 1;
constexpr int kVerticalResize = 7;
constexpr int kHorizontalResize = 9;

// EdgeSide codes: which limit of the box is under the mouse.
constexpr std::int16_t kXMinEdge = 1;
constexpr std::int16_t kYMaxEdge = 2;
constexpr std::int16_t kXMaxEdge = 3;
constexpr std::int16_t kYMinEdge = 4;

// Distance tests against the plot's edge tolerance: a hundredth of the scale's width (x) or
// height (y), compared squared.
class EdgeTolerance {
public:
    explicit EdgeTolerance(const PictureBox& plot)
        : m_x(square(plot.ScaleWidth() / 100.0)), m_y(square(plot.ScaleHeight() / 100.0))
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

// The hit test: the first constraint-box edge near (X, Y) sets EdgeBox, EdgeSide and a resize
// pointer. Interior boxes answer on all four edges; the end boxes, strokes on the plot's left
// and right edges, only at their ends.
void find_constraint_edge(frmMain& w, float X, float Y)
{
    ProgramState& state = w.state;
    PictureBox* Picture1 = w.Picture1;
    const EdgeTolerance near(*Picture1);
    const auto hit = [&](int pointer, int k, std::int16_t side) {
        Picture1->setMousePointer(pointer);
        state.EdgeBox = static_cast<std::int16_t>(k);
        state.EdgeSide = side;
    };
    for (int k = 2; k <= state.NodeCount - 1; ++k) {
        const std::size_t i = vertex_slot(k);
        const bool within_y = strictly_between(state.ConYMin[i], Y, state.ConYMax[i]);
        const bool within_x = strictly_between(state.ConXMin[i], X, state.ConXMax[i]);
        if (near.nearX(X, state.ConXMin[i])) {
            if (within_y)
                return hit(kHorizontalResize, k, kXMinEdge);
            Picture1->setMousePointer(kArrow);
        } else if (near.nearX(X, state.ConXMax[i])) {
            if (within_y)
                return hit(kHorizontalResize, k, kXMaxEdge);
            Picture1->setMousePointer(kArrow);
        }
        if (near.nearY(Y, state.ConYMin[i])) {
            if (within_x)
                return hit(kVerticalResize, k, kYMinEdge);
            Picture1->setMousePointer(kArrow);
        } else if (near.nearY(Y, state.ConYMax[i])) {
            if (within_x)
                return hit(kVerticalResize, k, kYMaxEdge);
            Picture1->setMousePointer(kArrow);
        } else {
            Picture1->setMousePointer(kArrow);
        }
    }
    const std::size_t first = vertex_slot(1);
    if (near.nearX(X, state.ConXMax[first])) {
        if (near.nearY(Y, state.ConYMin[first]))
            return hit(kVerticalResize, 1, kYMinEdge);
        if (near.nearY(Y, state.ConYMax[first]))
            return hit(kVerticalResize, 1, kYMaxEdge);
    }
    const std::size_t last = vertex_slot(state.NodeCount);
    if (near.nearX(X, state.ConXMin[last])) {
        if (near.nearY(Y, state.ConYMin[last]))
            return hit(kVerticalResize, state.NodeCount, kYMinEdge);
        if (near.nearY(Y, state.ConYMax[last]))
            return hit(kVerticalResize, state.NodeCount, kYMaxEdge);
    }
}

// Vertices whose levels the family ties together share the y limits of their boxes: a dragged
// y edge of one of them moves the others' with it.
void keep_tied_levels(frmMain& w, std::size_t e)
{
    ProgramState& state = w.state;
    const auto copy_levels = [&state, e](std::initializer_list<std::size_t> boxes) {
        for (const std::size_t k : boxes) {
            state.ConYMin[k] = state.ConYMin[e];
            state.ConYMax[k] = state.ConYMax[e];
        }
    };
    const std::optional<ModelFamily> family = selected_family(w);
    if (family == ModelFamily::SimpleRamp) {
        if (e == 1 || e == 2)
            copy_levels({1, 2});
        else if (e == 3 || e == 4)
            copy_levels({3, 4});
    } else if (family == ModelFamily::SymmetricEvent || family == ModelFamily::AsymmetricEvent) {
        if (e != 3)
            copy_levels({1, 2, 4, 5});
    } else if (family == ModelFamily::EventWithDuration) {
        if (e != 3 && e != 4)
            copy_levels({1, 2, 5, 6});
    }
}

}  // namespace

void frmMain::Picture1_MouseDown(std::int16_t Button, std::int16_t, float X, float Y)
{
    if (Button == kRightButton)
        PopupMenu(mnuRB1);
    if (Option1[0]->Value() && Button == kLeftButton && Check1->Value() == 0) {
        if (state.BestOfBestShown) {  // a new box after a result starts a new set
            state.NodeCount = 0;
            Reset();
        }
        if (state.NodeCount == 6) {
            platform.MsgBox(QStringLiteral("Sorry! I am only able to take no more than 6 "
                                           "constraints."),
                            MsgBoxButtons::OkOnly, QStringLiteral("Caution"));
            return;
        }
        state.BoxDrawing = true;
        const std::size_t n = vertex_slot(state.NodeCount + 1);
        state.NodeCount = static_cast<std::int16_t>(n);
        // The first box holds vertex 1, which lies on the plot's left edge.
        state.ManXMin[n] = n == 1 ? Picture1->ScaleLeft() : X;
        state.ManYMin[n] = Y;
    }
    if (Picture1->MousePointer() > 4 && state.BestOfBestShown)
        state.EdgeDragging = true;
}

void frmMain::Picture1_MouseMove(std::int16_t, std::int16_t, float X, float Y)
{
    if (Option1[0]->Value() && state.BoxDrawing) {
        const std::size_t n = vertex_slot(state.NodeCount);
        state.ManXMax[n] = X;
        state.ManYMax[n] = Y;
        const float right = single::add(Picture1->ScaleLeft(), Picture1->ScaleWidth(), "Picture1");
        if (right < state.ManXMax[n])
            state.ManXMax[n] = right;
        Picture1->Cls();  // the persisted data and boxes
        DrawBox();
    }

    if (!state.EdgeDragging) {
        state.EdgeBox = 0;
        state.EdgeSide = 0;
        if (state.BestOfBestShown && Check2->Value() == 1 && Check1->Value() == 1)
            find_constraint_edge(*this, X, Y);
        return;
    }

    const std::size_t e = vertex_slot(state.EdgeBox);
    switch (state.EdgeSide) {
    case kXMinEdge: state.ConXMin[e] = X; break;
    case kXMaxEdge: state.ConXMax[e] = X; break;
    case kYMinEdge: state.ConYMin[e] = Y; break;
    case kYMaxEdge: state.ConYMax[e] = Y; break;
    default: break;  // the pointer outlived its hit: nothing moves
    }
    if (state.EdgeSide != 0)
        keep_tied_levels(*this, e);
    Picture1->Cls();
    DrawBestOfBest();
    DrawConstraint();
}

void frmMain::Picture1_MouseUp(std::int16_t, std::int16_t, float X, float Y)
{
    if (Option1[0]->Value() && state.BoxDrawing) {
        const std::size_t n = vertex_slot(state.NodeCount);
        state.ManXMax[n] = X;  // beyond the right edge it stays where it was released
        state.ManYMax[n] = Y;
        if (state.ManXMin[n] > state.ManXMax[n])
            std::swap(state.ManXMin[n], state.ManXMax[n]);
        if (state.ManYMin[n] > state.ManYMax[n])
            std::swap(state.ManYMin[n], state.ManYMax[n]);
        // The sixth box holds the last vertex, which lies on the plot's right edge.
        const float right = single::add(Picture1->ScaleLeft(), Picture1->ScaleWidth(), "Picture1");
        if (n == 6 && right > state.ManXMax[6])
            state.ManXMax[6] = right;
        state.BoxDrawing = false;
        Picture1->Cls();
        DrawBox();
        Picture1->Persist();  // the boxes survive the clears of the next box's rubber band
        if (state.NodeCount > 1) {
            Command7->setEnabled(true);
            Command2->setEnabled(true);
            Command2->SetFocus();
        }
    }
    state.EdgeDragging = false;
}

// Runs on every change of "Constrain", also when a reset unticks it; the search reads the value
// itself, so only the focus moves.
void frmMain::Check1_Click()
{
    Command2->SetFocus();
}

}  // namespace tolvenar
