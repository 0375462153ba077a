// SPDX-License-Identifier: GPL-3.0-or-later
// Goodness of fit of the candidate over the cropped segment: the core's measures on the window's
// state.
#include "core/model/fit.h"
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::Fitting()
{
    tolvenar::Fitting(state);
}

void frmMain::GetR()
{
    tolvenar::GetR(state);
}

void frmMain::GetSqDist()
{
    tolvenar::GetSqDist(state);
}

}  // namespace tolvenar
