// SPDX-License-Identifier: GPL-3.0-or-later
// Crop extraction: the crop window's rows become the cropped segment on the working plot.
#include "ui/app/frm_main.h"

namespace tolvenar {

void frmMain::CropCurve() {}  // Empty until crop extraction is built.

}  // namespace tolvenar
