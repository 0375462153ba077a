// SPDX-License-Identifier: GPL-3.0-or-later
// Crop extraction: the crop window's rows become the cropped segment on the working plot.
#include "ui/app/frm_main.h"

#include "core/model/boxes.h"
#include "core/runtime/fault.h"
#include "core/search/report.h"
#include "core/window/crop.h"
#include "ui/app/result_labels.h"

namespace tolvenar {

namespace {

// What a search left on display, which a new crop no longer matches: the report, the best of
// best with its boxes, "Constrain" (its boxes are gone) and the display settings.
void forget_results(frmMain& w)
{
    forget_best_of_best(w.state);
    w.Check1->setValue(0);  // fires Check1_Click when it was ticked
    w.Check1->setEnabled(false);
    w.Frame6->setEnabled(false);
    w.Command5->setEnabled(false);
    w.Check2->setEnabled(false);
    apply_label_writes(w, reset_label_writes(w.Option1[1]->Value()));
    w.Frame5->setEnabled(false);
}

}  // namespace

// Every change of the crop window ends here. A refused crop leaves the plot wiped and the
// previous segment in force; the results go with it, since the crop window no longer shows
// what they were found on.
void frmMain::CropCurve()
{
    try {
        Picture1->setScaleTop(Picture2->ScaleTop());
        Picture1->setScaleHeight(Picture2->ScaleHeight());
        Picture1->setScaleLeft(Shape1->Left());
        Picture1->setScaleWidth(Shape1->Width());
        WipePicture1();

        extract_crop(state, Shape1->Left(), Shape1->Width());
        DrawCrop();
    } catch (const Fault&) {
        forget_results(*this);
        Picture3->Cls();
        Label8->setCaption(QStringLiteral("0"));
        state.TrialCount = 0;
        state.ConvergenceCount = 0;
        state.BestOfBestShown = false;
        return;
    }
    try {
        forget_results(*this);
        Picture1->Persist();
        Picture1->Cls();
        Reset();
        state.BestOfBestShown = false;
        // While a bound is being typed the keyboard stays in its field.
        if (Command2->Enabled() && !state.BoxTyping)
            Command2->SetFocus();
    } catch (const Fault&) {
    }
}

}  // namespace tolvenar
