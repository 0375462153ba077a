// SPDX-License-Identifier: GPL-3.0-or-later
// Box editing on the working plot: manual boxes drawn with the left button for "Manual
// constraint", the edges of the constraint boxes dragged while a result and its boxes are
// shown, the plot's popup menu, and the "Constrain" check box.
#include "core/model/box_rules.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"

namespace tolvenar {

namespace {

int pointer_of(BoxEdge edge)
{
    return edge == BoxEdge::XMin || edge == BoxEdge::XMax ? pointer::kSizeHorizontal
                                                          : pointer::kSizeVertical;
}

}  // namespace

void frmMain::Picture1_MouseDown(std::int16_t Button, std::int16_t, float X, float Y)
{
    if (Busy())  // the plot takes no mouse while work runs on it
        return;
    if (Button == kRightButton)
        PopupMenu(mnuRB1);
    if (Option1[0]->Value() && Button == kLeftButton && Check1->Value() == 0) {
        if (state.BestOfBestShown) {  // a new box after a result starts a new set
            session.set_vertices(0);
            Reset();
        }
        if (session.vertices() == 6) {
            platform.MsgBox(QStringLiteral("Sorry! I am only able to take no more than 6 "
                                           "constraints."),
                            MsgBoxButtons::OkOnly, QStringLiteral("Caution"));
            return;
        }
        state.BoxDrawing = true;
        const std::size_t n = vertex_slot(session.vertices() + 1);
        session.set_vertices(static_cast<std::int16_t>(n));
        session.start_manual_box(n, X, Y, Picture1->ScaleLeft());
    }
    // A pointer beyond the plain ones is the resize pointer of an edge under the mouse.
    if (Picture1->MousePointer() > pointer::kIcon && state.BestOfBestShown)
        state.EdgeDragging = true;
}

void frmMain::Picture1_MouseMove(std::int16_t, std::int16_t, float X, float Y)
{
    if (Busy())
        return;
    if (Option1[0]->Value() && state.BoxDrawing) {
        session.follow_manual_box(vertex_slot(session.vertices()), X, Y, Picture1->ScaleLeft(),
                                  Picture1->ScaleWidth());
        Picture1->Cls();  // the persisted data and boxes
        DrawBox();
    }

    if (!state.EdgeDragging) {
        state.EdgeBox = 0;
        state.EdgeSide = BoxEdge::None;
        if (state.BestOfBestShown && Check2->Value() == 1 && Check1->Value() == 1) {
            const EdgeHit hit =
                session.box_edge_at(X, Y, Picture1->ScaleWidth(), Picture1->ScaleHeight());
            if (hit.edge != BoxEdge::None) {
                Picture1->setMousePointer(pointer_of(hit.edge));
                state.EdgeBox = hit.box;
                state.EdgeSide = hit.edge;
            } else if (hit.missed) {
                Picture1->setMousePointer(pointer::kArrow);
            }
        }
        return;
    }

    session.move_box_edge(selected_family(*this), state.EdgeBox, state.EdgeSide, X, Y);
    Picture1->Cls();
    DrawBestOfBest();
    DrawConstraint();
}

void frmMain::Picture1_MouseUp(std::int16_t, std::int16_t, float X, float Y)
{
    if (Busy())
        return;
    if (Option1[0]->Value() && state.BoxDrawing) {
        session.finish_manual_box(vertex_slot(session.vertices()), X, Y, Picture1->ScaleLeft(),
                                  Picture1->ScaleWidth());
        state.BoxDrawing = false;
        Picture1->Cls();
        DrawBox();
        Picture1->Persist();  // the boxes survive the clears of the next box's rubber band
        if (session.vertices() > 1) {
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
