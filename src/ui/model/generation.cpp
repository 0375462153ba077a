// SPDX-License-Identifier: GPL-3.0-or-later
// Random candidate models of the chosen family.
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

GenerateControls generate_controls(const frmMain& window)
{
    return {selected_family(window), static_cast<std::int16_t>(window.Check1->Value()),
            window.Picture1->ScaleLeft(), window.Picture1->ScaleWidth()};
}

void frmMain::GenerateModel()
{
    tolvenar::GenerateModel(state, generate_controls(*this), random);
}

}  // namespace tolvenar
