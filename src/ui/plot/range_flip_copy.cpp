// SPDX-License-Identifier: GPL-3.0-or-later
// The vertical range fields, "Flip vertical" and "Copy" of the plots' popup menus.
#include "ui/app/frm_main.h"

namespace tolvenar {

// Empty until the vertical range, flip and copy are built.
void frmMain::Text1_Change() {}
void frmMain::Text2_Change() {}
void frmMain::mnuFlipVertical1_Click() {}
void frmMain::mnuFlipVertical2_Click() {}
void frmMain::mnuCopy1_Click() {}
void frmMain::mnuCopy2_Click() {}

}  // namespace tolvenar
