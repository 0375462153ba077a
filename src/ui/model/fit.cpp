// SPDX-License-Identifier: GPL-3.0-or-later
// Goodness of fit of the candidate over the cropped segment.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until the fit measures are built.
void frmMain::Fitting() {}
void frmMain::GetR() {}
void frmMain::GetSqDist() {}

}  // namespace tolvenar
