// SPDX-License-Identifier: GPL-3.0-or-later
// The best of best on the working plot, "Clean up diagram" and "Show constraint".
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until the model drawings are built.
void frmMain::DrawBestOfBest() {}
void frmMain::Command5_Click() {}
void frmMain::Check2_Click() {}

}  // namespace tolvenar
