// SPDX-License-Identifier: GPL-3.0-or-later
// Crop window selection: dragging the crop window and its edges on the overview strip.
#include "ui/app/frm_main.h"

#include "core/runtime/numbers.h"

#include <QMenu>

namespace tolvenar {

namespace {

enum class StripHit { Outside, LeftEdge, RightEdge, Inside };

// Where X lies against the crop window [L, L + W] on a strip of width SW: within SW / 200 of the
// left edge (tested first), of the right edge, strictly inside, or elsewhere.
StripHit hit_test(float X, float L, float W, float SW)
{
    const double tolerance = static_cast<double>(SW) / 200.0;
    const double to_left = static_cast<double>(X) - L;
    const double to_right = static_cast<double>(X) - L - W;
    if (tolerance * tolerance > to_left * to_left)
        return StripHit::LeftEdge;
    if (tolerance * tolerance > to_right * to_right)
        return StripHit::RightEdge;
    if (X > L && X < L + W)
        return StripHit::Inside;
    return StripHit::Outside;
}

// Gives the window a new width, or keeps the old one where the new would be negative, which the
// shape refuses.
void set_width(Shape& window, double width)
{
    if (to_single(width) >= 0.0f)
        window.setWidth(width);
}

// Moves the window to `left` over `width`, or leaves it where it is when the width would be
// negative.
void place_window(Shape& window, double left, double width)
{
    if (!(to_single(width) >= 0.0f))
        return;
    window.setLeft(left);
    window.setWidth(width);
}

}  // namespace

void frmMain::Picture2_MouseDown(std::int16_t Button, std::int16_t, float X, float)
{
    const float left = Shape1->Left();
    const float width = Shape1->Width();
    switch (hit_test(X, left, width, Picture2->ScaleWidth())) {
    case StripHit::LeftEdge:
        state.DragLeftEdge = true;
        state.AnchorRight = left + width;
        break;
    case StripHit::RightEdge:
        state.DragRightEdge = true;
        break;
    case StripHit::Inside:
        state.DragWindow = true;
        state.GrabOffset = X - left;
        break;
    case StripHit::Outside:
        break;
    }
    if (Button == kRightButton) {
        PopupMenu(mnuRb2);
        // The open menu takes the button's release: the drag this press began ends with it.
        if (mnuRb2->isVisible()) {
            connect(
                mnuRb2, &QMenu::aboutToHide, this,
                [this] {
                    state.DragLeftEdge = false;
                    state.DragRightEdge = false;
                    state.DragWindow = false;
                },
                Qt::SingleShotConnection);
        }
    }
}

void frmMain::Picture2_MouseMove(std::int16_t, std::int16_t, float X, float Y)
{
    Picture2->setToolTipText(qtext(number_text(X)) + QStringLiteral(", ")
                             + qtext(number_text(Y)));

    const float strip_left = Picture2->ScaleLeft();
    const float strip_width = Picture2->ScaleWidth();
    switch (hit_test(X, Shape1->Left(), Shape1->Width(), strip_width)) {
    case StripHit::LeftEdge:
    case StripHit::RightEdge: Picture2->setMousePointer(9); break;
    case StripHit::Inside: Picture2->setMousePointer(5); break;
    case StripHit::Outside: Picture2->setMousePointer(1); break;
    }

    const double min_width = static_cast<double>(strip_width) / 100.0;
    if (state.DragWindow) {
        Shape1->setLeft(static_cast<double>(X) - state.GrabOffset);
        const float strip_end_left =
            to_single(static_cast<double>(strip_width) + strip_left - Shape1->Width());
        if (Shape1->Left() < strip_left)
            Shape1->setLeft(strip_left);
        else if (strip_end_left < Shape1->Left())
            Shape1->setLeft(strip_end_left);
    }
    if (state.DragRightEdge) {
        const float left = Shape1->Left();
        if (to_single(left + min_width) < X)
            set_width(*Shape1, static_cast<double>(X) - left);
        const float strip_end = to_single(static_cast<double>(strip_width) + strip_left);
        const float right = to_single(static_cast<double>(Shape1->Width()) + left);
        // A window starting beyond the strip's end cannot be pinned there: it keeps its width.
        if (strip_end < right)
            set_width(*Shape1, static_cast<double>(strip_end) - left);
    }
    if (state.DragLeftEdge) {
        const double right = static_cast<double>(Shape1->Width()) + Shape1->Left();
        if (to_single(right - min_width) > X)
            place_window(*Shape1, X, static_cast<double>(state.AnchorRight) - X);
        // The left edge stops at x = 0; on an axis wholly below zero there is no window between
        // zero and the anchor, and the edge stays where the mouse put it.
        if (Shape1->Left() < 0.0f)
            place_window(*Shape1, 0.0, state.AnchorRight);
    }

    if (state.PreviewDrawn) {
        const auto show_bounds = [this] {
            CropCurve();
            state.BoxTyping = false;
            const float left = Shape1->Left();
            Text4->setText(qtext(rounded_text(left, 1)));
            Text5->setText(qtext(rounded_text(left + Shape1->Width(), 1)));
        };
        if (state.DragRightEdge || state.DragLeftEdge)
            show_bounds();
        if (state.DragWindow)
            show_bounds();
    }
}

void frmMain::Picture2_MouseUp(std::int16_t, std::int16_t, float, float)
{
    // The drag ends with the release whatever happens on the way.
    struct EndDrag {
        ProgramState& state;
        ~EndDrag()
        {
            state.DragLeftEdge = false;
            state.DragRightEdge = false;
            state.DragWindow = false;
        }
    } end_drag{state};

    if (!state.PreviewDrawn)
        return;
    if (state.DragRightEdge || state.DragLeftEdge)
        CropCurve();
    if (state.DragWindow)
        CropCurve();
    // While BoxTyping is set these writes apply the rounded bounds as typed ones.
    const float left = Shape1->Left();
    Text4->setText(qtext(rounded_text(left, 1)));
    const float right = Shape1->Left() + Shape1->Width();
    Text5->setText(qtext(rounded_text(right, 1)));
}

}  // namespace tolvenar
