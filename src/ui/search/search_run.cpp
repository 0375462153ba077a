// SPDX-License-Identifier: GPL-3.0-or-later
// "Run": the Monte Carlo search on the cropped data, shown as it goes; and its count fields.
#include "core/model/boxes.h"
#include "core/search/search.h"
#include "core/window/crop.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"
#include "ui/search/search_display.h"

namespace tolvenar {

// The whole search runs here, from the first trial to the last; its faults and a No to the
// time estimate end it through the display's cleanup path, and a fault then says why. A crop
// that was refused or holds no point is no ground for a search: its reason is said instead.
void frmMain::Command2_Click()
{
    if (!state.CropRefusal.empty()) {
        SayWhy(QStringLiteral("Run"), state.CropRefusal);
        return;
    }
    if (state.CropCount == 0) {
        const CropEdges edges = CropWindowEdges();
        SayWhy(QStringLiteral("Run"), empty_crop_refusal(edges.left, edges.width, edges.origin));
        return;
    }
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
    SearchOutcome outcome;
    {
        SearchDisplay display(*this);
        outcome = engine.run(state, settings, random, display);
    }
    if (outcome.end == SearchEnd::Faulted) {
        // The counts named as the fields hold them.
        const CountNames names{"runs " + Text6->Text().toStdString(),
                               "trials " + Text3[0]->Text().toStdString()};
        SayWhy(QStringLiteral("Run"),
               search_stop_line(settings.constrain == 1 ? "constrained search" : "search", outcome,
                                state, settings, names));
    }
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
