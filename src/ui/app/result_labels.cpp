// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/result_labels.h"

#include "ui/app/frm_main.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>

namespace tolvenar {

namespace {

// A caption wider than its label (break points far from zero carry every digit) is set in a
// smaller font rather than cut off: a number cut short reads as another number.
void fit_caption(Label& label)
{
    label.setFont(QFont());  // the window's own font again
    const double room = label.contentsRect().width();
    QFont font = label.font();
    for (int step = 0; step < 8; ++step) {
        const double needed = QFontMetrics(font).horizontalAdvance(label.text());
        if (needed <= room)
            break;
        const double scale = room / needed * 0.98;
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * scale);
        else
            font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * scale)));
    }
    if (font != label.font())
        label.setFont(font);
}

}  // namespace

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
        fit_caption(*label);
    }
}

}  // namespace tolvenar
