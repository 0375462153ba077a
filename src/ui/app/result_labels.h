// SPDX-License-Identifier: GPL-3.0-or-later
// The result labels of " Best fitting " as the core's report and reset captions write them.
#pragma once

#include "core/search/report.h"

#include <vector>

namespace tolvenar {

class frmMain;

// Label2(i), Label3(i), Label5 and Label6 take the writes' captions and enabled states, in order.
void apply_label_writes(frmMain& window, const std::vector<LabelWrite>& writes);

}  // namespace tolvenar
