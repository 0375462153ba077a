// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing of the manual and constraint boxes on the working plot.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until box drawing is built.
void frmMain::DrawBox() {}
void frmMain::DrawConstraint() {}

}  // namespace tolvenar
