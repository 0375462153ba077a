// SPDX-License-Identifier: GPL-3.0-or-later
// "Save": the fit as tolvenar-fit writes it, as JSON, a CSV row or a picture.
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::Command6_Click() {}

}  // namespace tolvenar
