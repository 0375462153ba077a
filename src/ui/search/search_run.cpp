// SPDX-License-Identifier: GPL-3.0-or-later
// "Run": the Monte Carlo search on the cropped data, on the worker thread and shown as it goes;
// and its count fields.
#include "core/window/crop.h"
#include "ui/app/frm_main.h"
#include "ui/model/model_controls.h"
#include "ui/search/search_display.h"

#include <memory>

namespace tolvenar {

// The search runs on the worker thread from its first trial to its last; its faults and a No to
// the time estimate end it through the display's cleanup path, and a fault then says why. A crop
// that was refused or holds no point is no ground for a search: its reason is said instead.
void frmMain::Command2_Click()
{
    if (Busy())
        return;
    if (!state.CropRefusal.empty()) {
        SayWhy(QStringLiteral("Run"), state.CropRefusal);
        return;
    }
    if (session.crop_info().points == 0) {
        const CropEdges edges = CropWindowEdges();
        SayWhy(QStringLiteral("Run"), empty_crop_refusal(edges.left, edges.width, edges.origin));
        return;
    }
    if (!Several.empty()) {  // the lags of several series instead of the one series' search
        RunLags();
        return;
    }
    const std::string runs = Text6->Text().toStdString();
    const std::string trials = Text3[0]->Text().toStdString();
    SearchRequest request;
    request.family = selected_family(*this);
    request.constrain = static_cast<std::int16_t>(Check1->Value());
    request.runs = FieldNumber::of_text(runs);
    request.trials = FieldNumber::of_text(trials);
    request.scale_left = Picture1->ScaleLeft();
    request.scale_width = Picture1->ScaleWidth();
    JobSteps steps;
    steps.searches = {request};
    steps.search_steps = {{runs, trials, request.constrain == 1}};
    // The counts named as the fields hold them.
    const CountNames names{"runs " + runs, "trials " + trials};

    session.set_clock([this] { return platform.MonotonicSeconds(); });
    // The convergence plot keeps its scale from search to search.
    session.convergence_scale() = {Picture3->ScaleTop(), Picture3->ScaleHeight(),
                                   Picture3->ScaleWidth()};
    // A new search leaves the refined fit and its intervals behind.
    ForgetRefined();

    StartJob(std::move(steps), std::make_shared<SearchDisplay>(*this, *Work),
             [this, request, names](const JobOutcome& outcome) {
                 if (outcome.search.end == SearchEnd::Completed) {
                     show_search_finished(*this);
                     return;
                 }
                 if (outcome.search.end == SearchEnd::Faulted)
                     SayWhy(QStringLiteral("Run"),
                            session.stop_line(request.constrain == 1 ? "constrained search"
                                                                     : "search",
                                              outcome.search, request, names));
             });
}

// The candidate count is read when a search starts; editing it changes nothing at once.
void frmMain::Text3_Change(std::int16_t) {}

// A new repeat count starts the results afresh: the working plot back to the bare data, the best
// of best and the constraint boxes emptied, and "Constrain" off, having no boxes to search in.
// The best's R, the trials made and the trace stay.
void frmMain::Text6_Change()
{
    const float left = Picture1->ScaleLeft();
    const float top = Picture1->ScaleTop();
    Picture1->Line(left, top, left + Picture1->ScaleWidth(), top + Picture1->ScaleHeight(), kWhite,
                   LineKind::FilledBox);
    Picture1->Persist();
    DrawCrop();
    Picture1->Persist();
    session.forget_results();
    ForgetRefined();
    Command6->setEnabled(HasRecord());
    const bool typing = Text6->hasFocus();
    Check1->setValue(0);  // its click handler moves the focus to "Run"
    Check1->setEnabled(false);
    if (typing)
        Text6->SetFocus();
}

}  // namespace tolvenar
