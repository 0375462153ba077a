// SPDX-License-Identifier: GPL-3.0-or-later
// What the model engine reads from the window's controls: the selected family.
#pragma once

#include "core/model/family.h"

#include <optional>

namespace tolvenar {

class frmMain;

// The family of the selected Option1 button; nullopt while none is selected.
std::optional<ModelFamily> selected_family(const frmMain& window);

}  // namespace tolvenar
