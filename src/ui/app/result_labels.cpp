// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/result_labels.h"

#include "ui/app/frm_main.h"

namespace tolvenar {

void apply_label_writes(frmMain& window, const std::vector<LabelWrite>& writes)
{
    for (const LabelWrite& write : writes) {
        Label* label = nullptr;
        switch (write.label) {
        case ResultLabel::X: label = window.Label2[write.index]; break;
        case ResultLabel::Y: label = window.Label3[write.index]; break;
        case ResultLabel::R: label = window.Label5; break;
        case ResultLabel::Measure: label = window.Label6; break;
        }
        label->setEnabled(write.enabled);
        label->setCaption(qtext(write.caption));
    }
}

}  // namespace tolvenar
