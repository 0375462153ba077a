// SPDX-License-Identifier: GPL-3.0-or-later
// Crop window selection: dragging the crop window and its edges on the overview strip.
#include "ui/app/frm_main.h"

#include "core/runtime/numbers.h"
#include "core/window/strip_rules.h"

#include <QMenu>

namespace tolvenar {

namespace {

CropWindow window_of(const Shape& shape)
{
    return {shape.Left(), shape.Width()};
}

// A drag step's writes; a fault that stopped the step goes on to the toolkit after them.
void apply(Shape& shape, const WindowEdit& edit)
{
    if (edit.left)
        shape.setLeft(*edit.left);
    if (edit.width)
        shape.setWidth(*edit.width);
    if (edit.fault)
        throw Fault(*edit.fault, "Shape1");
}

int pointer_of(StripGrip grip)
{
    switch (grip) {
    case StripGrip::LeftEdge:
    case StripGrip::RightEdge: return pointer::kSizeHorizontal;
    case StripGrip::Inside: return pointer::kSizeAll;
    case StripGrip::Outside: break;
    }
    return pointer::kArrow;
}

}  // namespace

void frmMain::Picture2_MouseDown(std::int16_t Button, std::int16_t, float X, float)
{
    if (Busy())  // the crop stays while work runs on it
        return;
    const float left = Shape1->Left();
    const float width = Shape1->Width();
    const StripGrip grip = strip_grip(X, left, width, Picture2->ScaleWidth());
    if (grip != StripGrip::Outside)
        state.TypedCrop.reset();  // the drag puts the marker's own values in force
    switch (grip) {
    case StripGrip::LeftEdge:
        state.DragLeftEdge = true;
        state.AnchorRight = left + width;
        break;
    case StripGrip::RightEdge:
        state.DragRightEdge = true;
        break;
    case StripGrip::Inside:
        state.DragWindow = true;
        state.GrabOffset = X - left;
        break;
    case StripGrip::Outside:
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
    if (Busy())
        return;
    Picture2->setToolTipText(XText(X, number_text(X)) + QStringLiteral(", ")
                             + qtext(number_text(Y)));

    const StripScale strip{Picture2->ScaleLeft(), Picture2->ScaleWidth()};
    Picture2->setMousePointer(
        pointer_of(strip_grip(X, Shape1->Left(), Shape1->Width(), strip.width)));

    if (state.DragWindow)
        apply(*Shape1, move_window(X, state.GrabOffset, window_of(*Shape1), strip));
    if (state.DragRightEdge)
        apply(*Shape1, drag_right_edge(X, window_of(*Shape1), strip));
    if (state.DragLeftEdge)
        apply(*Shape1, drag_left_edge(X, state.AnchorRight, window_of(*Shape1), strip));

    if (state.PreviewDrawn) {
        const auto show_bounds = [this] {
            CropCurve();
            state.BoxTyping = false;
            const float left = Shape1->Left();
            const float right = left + Shape1->Width();
            Text4->setText(XText(left, rounded_text(left, 1)));
            Text5->setText(XText(right, rounded_text(right, 1)));
        };
        if (state.DragRightEdge || state.DragLeftEdge)
            show_bounds();
        if (state.DragWindow)
            show_bounds();
    }
}

void frmMain::Picture2_MouseUp(std::int16_t, std::int16_t, float, float)
{
    if (Busy())
        return;
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
    // Said once per drag, where the mouse let go: a box at every refused step would end the drag.
    if ((state.DragRightEdge || state.DragLeftEdge || state.DragWindow) &&
        !state.CropRefusal.empty()) {
        state.CropRefusalUnsaid = false;
        SayWhy(QStringLiteral("Crop"), state.CropRefusal);
    }
    // While BoxTyping is set these writes apply the rounded bounds as typed ones.
    const float left = Shape1->Left();
    Text4->setText(XText(left, rounded_text(left, 1)));
    const float right = Shape1->Left() + Shape1->Width();
    Text5->setText(XText(right, rounded_text(right, 1)));
}

}  // namespace tolvenar
