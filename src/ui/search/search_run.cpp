// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo search and its count fields.
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::Command2_Click() {}  // Empty until the search run is built.

// The candidate count is read when a search starts; editing it changes nothing at once.
void frmMain::Text3_Change(std::int16_t) {}

void frmMain::Text6_Change() {}  // Empty until the search run is built.

}  // namespace tolvenar
