// SPDX-License-Identifier: GPL-3.0-or-later
// Crop extraction: the crop window's rows become the cropped segment on the working plot.
#include "ui/app/frm_main.h"

#include "core/model/boxes.h"
#include "core/runtime/fault.h"
#include "core/search/report.h"
#include "core/window/crop.h"
#include "ui/app/result_labels.h"

namespace tolvenar {

// Every change of the crop window ends here. A runtime fault ends it silently where it arises:
// what the earlier steps changed stays changed (a window beyond the data leaves the plot wiped
// and the previous segment in force).
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
        forget_best_of_best(state);

        Check1->setValue(0);  // fires Check1_Click when it was ticked
        Check1->setEnabled(false);
        Frame6->setEnabled(false);
        Command5->setEnabled(false);
        Check2->setEnabled(false);
        apply_label_writes(*this, reset_label_writes(Option1[1]->Value()));
        Frame5->setEnabled(false);

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
