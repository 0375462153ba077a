// SPDX-License-Identifier: GPL-3.0-or-later
// Data import: "Import data" reads a data file into the data table.
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::Command1_Click() {}  // Empty until the data import is built.

}  // namespace tolvenar
