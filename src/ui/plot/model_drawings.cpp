// SPDX-License-Identifier: GPL-3.0-or-later
// The best of best on the working plot, "Clean up diagram" and "Show constraint".
#include "ui/plot/model_drawings.h"

#include "core/model/fit_crop.h"
#include "ui/app/frm_main.h"

namespace tolvenar {

void draw_best_of_best(frmMain& w, const Model& model)
{
    w.Picture1->setDrawWidth(2);  // 1.5 rounded half to even
    draw_model(*w.Picture1, model, kBestOfBestRed);
    w.Picture1->setDrawWidth(1);
    w.state.BestOfBestShown = true;
}

// The refined fit stands in for the search's best once made; the bootstrap's band lies behind
// it and the bars of its break points over it.
void frmMain::DrawBestOfBest()
{
    DrawIntervals(false);
    draw_best_of_best(*this, ShownModel());
    DrawIntervals(true);
}

Model frmMain::ShownModel() const
{
    return Results.refined ? about_y_origin(Results.refined->model, -Results.refined->y_origin)
                           : session.best();
}

// Back to the bare data: the orange bests of earlier runs go, the best of best stays.
void frmMain::Command5_Click()
{
    WipePicture1();
    DrawCrop();
    Picture1->Persist();
    DrawBestOfBest();
    if (Check2->Value() == 1)
        DrawConstraint();
}

// Back to the persisted data and run bests; the boxes only while ticked (greyed counts as not).
void frmMain::Check2_Click()
{
    Picture1->Cls();
    DrawBestOfBest();
    if (Check2->Value() == 1)
        DrawConstraint();
}

}  // namespace tolvenar
