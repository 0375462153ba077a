// SPDX-License-Identifier: GPL-3.0-or-later
// "Run": the Monte Carlo search on the cropped data, shown as it goes; and its count fields.
#include "core/model/boxes.h"
#include "core/search/search.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"
#include "ui/search/search_display.h"

namespace tolvenar {

// The whole search runs here, from the first trial to the last; its faults and a No to the
// time estimate end it through the display's cleanup path, without a message.
void frmMain::Command2_Click()
{
    SearchSettings settings;
    settings.family = selected_family(*this);
    settings.constrain = static_cast<std::int16_t>(Check1->Value());
    settings.runs = FieldNumber::of_text(Text6->Text().toStdString());
    settings.trials = FieldNumber::of_text(Text3[0]->Text().toStdString());
    settings.scale_left = Picture1->ScaleLeft();
    settings.scale_width = Picture1->ScaleWidth();

    SearchEngine engine([this] { return platform.MonotonicSeconds(); });
    // The convergence plot keeps its scale from search to search.
    engine.convergence_scale() = {Picture3->ScaleTop(), Picture3->ScaleHeight(),
                                  Picture3->ScaleWidth()};
    SearchDisplay display(*this);
    engine.run(state, settings, random, display);
}

// The candidate count is read when a search starts; editing it changes nothing at once.
void frmMain::Text3_Change(std::int16_t) {}

// A new repeat count starts the results afresh: the working plot back to the bare data, the best
// of best and the constraint boxes emptied, and "Constrain" off, having no boxes to search in.
// BestOfBestR, TrialCount and the trace stay.
void frmMain::Text6_Change()
{
    const float left = Picture1->ScaleLeft();
    const float top = Picture1->ScaleTop();
    Picture1->Line(left, top, left + Picture1->ScaleWidth(), top + Picture1->ScaleHeight(), kWhite,
                   LineKind::FilledBox);
    Picture1->Persist();
    DrawCrop();
    Picture1->Persist();
    forget_best_of_best(state);
    const bool typing = Text6->hasFocus();
    Check1->setValue(0);  // its click handler moves the focus to "Run"
    Check1->setEnabled(false);
    if (typing)
        Text6->SetFocus();
}

}  // namespace tolvenar
