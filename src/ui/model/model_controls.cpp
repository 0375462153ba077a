// SPDX-License-Identifier: GPL-3.0-or-later
// What the model engine reads from the window's controls.
#include "ui/model/model_controls.h"

#include "ui/app/frm_main.h"

namespace tolvenar {

std::optional<ModelFamily> selected_family(const frmMain& window)
{
    for (int i = window.Option1.LBound; i <= window.Option1.UBound; ++i) {
        if (window.Option1[i]->Value())
            return static_cast<ModelFamily>(i);
    }
    return std::nullopt;
}

}  // namespace tolvenar
