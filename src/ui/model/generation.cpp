// SPDX-License-Identifier: GPL-3.0-or-later
// Random candidate models of the chosen family.
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::GenerateModel() {}  // Empty until model generation is built.

}  // namespace tolvenar
