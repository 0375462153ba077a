// SPDX-License-Identifier: GPL-3.0-or-later
// Crop bound fields: typed bounds of the crop window and of the overview strip.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until the typed crop bounds are built.
void frmMain::Text4_Change() {}
void frmMain::Text4_KeyDown(std::int16_t, std::int16_t) {}
void frmMain::Text4_KeyUp(std::int16_t, std::int16_t) {}
void frmMain::Text5_Change() {}
void frmMain::Text5_KeyDown(std::int16_t, std::int16_t) {}
void frmMain::Text5_KeyUp(std::int16_t, std::int16_t) {}
void frmMain::Text7_Change() {}
void frmMain::Text7_KeyDown(std::int16_t, std::int16_t) {}
void frmMain::Text8_Change() {}
void frmMain::Text8_KeyDown(std::int16_t, std::int16_t) {}

}  // namespace tolvenar
