// SPDX-License-Identifier: GPL-3.0-or-later
// Crop extraction: the crop window's rows become the cropped segment on the working plot.
#include "ui/app/frm_main.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/search/report.h"
#include "core/window/crop.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"
#include "ui/plot/comparison_window.h"

namespace tolvenar {

namespace {

// What a search left on display, which a new crop no longer matches: the report, the best of
// best with its boxes, "Constrain" (its boxes are gone), the display settings, and the tables of
// the intervals and of a comparison made on another crop.
void forget_results(frmMain& w)
{
    w.session.forget_results();
    w.ForgetRefined();
    if (w.frmComparison && !w.CurrentComparison())  // the table goes with the crop it was made on
        w.frmComparison->hide();
    w.Check1->setValue(0);  // fires Check1_Click when it was ticked
    w.Check1->setEnabled(false);
    w.Frame6->setEnabled(false);
    w.Command5->setEnabled(false);
    w.Check2->setEnabled(false);
    apply_label_writes(w, reset_label_writes(selected_family(w)));
    w.Frame5->setEnabled(false);
}

// The typed bounds still give the marker's place: it holds their single roundings.
bool marker_holds(const Shape& marker, const std::pair<double, double>& typed)
{
    try {
        return to_single(typed.first) == marker.Left() &&
               to_single(typed.second - typed.first) == marker.Width();
    } catch (const Fault&) {
        return false;
    }
}

}  // namespace

// The plot reaches every row the crop keeps, so that a model's last vertex lies at or right of it.
CropEdges frmMain::CropWindowEdges() const
{
    if (state.TypedCrop && marker_holds(*Shape1, *state.TypedCrop))
        return covering_rows(session.table(),
                             crop_edges(state.TypedCrop->first, state.TypedCrop->second));
    const float left = Shape1->Left();
    return covering_rows(session.table(),
                         crop_edges(left, static_cast<double>(left) + Shape1->Width()));
}

// Every change of the crop window ends here. The working plot's x runs in model x, from the
// crop's origin. A refused crop leaves the plot wiped and the previous segment in force; the
// results go with it, since the crop window no longer shows what they were found on. Its reason
// waits for the change to complete (a typed key, an import, a drag's release).
void frmMain::CropCurve()
{
    const bool was_refused = !state.CropRefusal.empty();
    CropEdges edges;
    try {
        edges = CropWindowEdges();
        Picture1->setScaleTop(Picture2->ScaleTop());
        Picture1->setScaleHeight(Picture2->ScaleHeight());
        Picture1->setScaleLeft(edges.left - edges.origin);
        Picture1->setScaleWidth(edges.width);
        WipePicture1();

        session.crop(edges);
        state.CropRefusal.clear();
        state.CropRefusalUnsaid = false;
        DrawCrop();
    } catch (const Fault& fault) {
        forget_results(*this);
        Picture3->Cls();
        Label8->setCaption(QStringLiteral("0"));
        session.reset_counters();
        state.BestOfBestShown = false;
        if (!session.table().allocated())
            return;
        state.CropRefusal = session.crop_refusal(edges, fault);
        state.CropRefusalUnsaid = state.CropRefusalUnsaid || !was_refused;
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

// Typing on in a refused bound refuses it again: one box for the lot, not one per key.
void frmMain::SayCropRefusal()
{
    if (!state.CropRefusalUnsaid)
        return;
    state.CropRefusalUnsaid = false;
    SayWhy(QStringLiteral("Crop"), state.CropRefusal);
    state.BoxTyping = false;  // the box took the typed key's release
}

}  // namespace tolvenar
