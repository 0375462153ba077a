// SPDX-License-Identifier: GPL-3.0-or-later
// Box editing on the working plot, and the "Constrain" check box.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until box editing with the mouse is built.
void frmMain::Picture1_MouseDown(std::int16_t, std::int16_t, float, float) {}
void frmMain::Picture1_MouseMove(std::int16_t, std::int16_t, float, float) {}
void frmMain::Picture1_MouseUp(std::int16_t, std::int16_t, float, float) {}

// Runs on every change of "Constrain", also when a reset unticks it; the search reads the value
// itself, so only the focus moves.
void frmMain::Check1_Click()
{
    Command2->SetFocus();
}

}  // namespace tolvenar
