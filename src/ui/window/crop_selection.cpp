// SPDX-License-Identifier: GPL-3.0-or-later
// Crop window selection: dragging the crop window and its edges on the overview strip.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until the crop window drag is built.
void frmMain::Picture2_MouseDown(std::int16_t, std::int16_t, float, float) {}
void frmMain::Picture2_MouseMove(std::int16_t, std::int16_t, float, float) {}
void frmMain::Picture2_MouseUp(std::int16_t, std::int16_t, float, float) {}

}  // namespace tolvenar
