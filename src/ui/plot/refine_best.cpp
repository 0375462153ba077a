// SPDX-License-Identifier: GPL-3.0-or-later
// "Refine best fit" of the working plot's popup menu: the family's least-squares optimum near the
// best of best, drawn in its place and shown in " Best fitting ". The search's own best of best
// and boxes stay as they are, so the next "Run" goes on from the search.
#include "core/refine/refine.h"
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"
#include "ui/plot/model_drawings.h"

namespace tolvenar {

// Enabled while there is a best of best to start from.
void frmMain::mnuRB1_AboutToShow()
{
    mnuRefine1->setEnabled(state.BestOfBestSqDist != kUnsetBestOfBest &&
                           selected_family(*this).has_value());
}

void frmMain::mnuRefine1_Click()
{
    const std::optional<ModelFamily> family = selected_family(*this);
    if (!family || state.BestOfBestSqDist == kUnsetBestOfBest)
        return;
    refine::RefineRequest request{*family, Check1->Value() == 1,
                                  {state.BestOfBestX, state.BestOfBestY}, {}};
    if (state.BestModelX[1] != kUnsetVertex)  // the last run's best, another start
        request.restarts.push_back({state.BestModelX, state.BestModelY});
    const refine::RefinedFit fit = refine::refine_fit(state, request);

    apply_label_writes(*this, refine::refined_report(state, *family, fit).writes);

    Picture1->Cls();
    Picture1->setDrawWidth(2);
    draw_model(*Picture1, fit.model.x, fit.model.y, kBestOfBestRed);
    Picture1->setDrawWidth(1);
    if (Check2->Value() == 1)
        DrawConstraint();
}

}  // namespace tolvenar
