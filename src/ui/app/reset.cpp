// SPDX-License-Identifier: GPL-3.0-or-later
// Reset of everything a search produced, and the choice of the model family.
#include "ui/app/frm_main.h"

#include "core/model/family.h"
#include "core/search/report.h"
#include "core/window/reset_rules.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"

namespace tolvenar {

void frmMain::Reset()
{
    Command3->setEnabled(false);
    Check1->setEnabled(false);
    Check1->setValue(0);  // fires Check1_Click when it was ticked
    apply_label_writes(*this, reset_label_writes(selected_family(*this)));
    session.forget_results();
    ForgetRefined();
    Command6->setEnabled(HasRecord());  // a comparison on this crop stays
    Check1->setValue(0);
    Check1->setEnabled(false);
    Frame6->setEnabled(false);
    Command5->setEnabled(false);
    Check2->setEnabled(false);  // its value stays

    WipePicture1();
    DrawCrop();
    Picture1->Persist();

    session.reset_counters();
    Label8->setCaption(QStringLiteral("0"));
    const ResultsReset after = results_reset(Option1[0]->Value(), state.BestOfBestShown,
                                             state.BoxTyping);
    if (after.forget_boxes)
        session.set_vertices(0);
    state.BoxDrawing = false;
    state.BestOfBestShown = false;
    session.clear_manual_boxes();
    Picture3->Cls();
    if (after.run)
        Command2->setEnabled(*after.run);
}

void frmMain::Option1_Click(std::int16_t Index)
{
    Reset();
    const FamilyChosen chosen = family_chosen(Index == 0, session.vertices());
    if (chosen.run) {
        Command2->setEnabled(*chosen.run);
        if (*chosen.run)
            Command2->SetFocus();
    }
    if (chosen.reset)
        Command7->setEnabled(*chosen.reset);
    session.set_vertices(node_count_of(static_cast<ModelFamily>(Index)));
    Picture1->setMousePointer(pointer::kArrow);
}

void frmMain::Command7_Click()
{
    Reset();
    session.set_vertices(0);
}

}  // namespace tolvenar
