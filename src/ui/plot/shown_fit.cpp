// SPDX-License-Identifier: GPL-3.0-or-later
// The fit shown in place of the search's best: forgetting it with its "Intervals" table, what
// "Save" has to write, and a comparison's model without an event shown as a fit: the constant's
// level or the straight line across the working plot, its values in " Best fitting ".
#include "core/search/report.h"
#include "core/runtime/numbers.h"
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"
#include "ui/plot/intervals.h"

#include <algorithm>

namespace tolvenar {

namespace {

// " Best fitting " for a model without an event from `left` to `right` (model x): its two ends
// as X1, Y1 and X2, Y2, and the constant's level or the line's slope (per day for dates) in
// place of the family's measure. R says nothing of a model that cannot bend: it stays bare.
std::vector<LabelWrite> null_label_writes(const compare::NullFit& fit, double left, double right,
                                          const CropInfo& crop, const XForm& form,
                                          std::optional<ModelFamily> family)
{
    std::vector<LabelWrite> writes = reset_label_writes(family);
    int vertex = 1;
    for (const double x : {left, right}) {
        writes.push_back({ResultLabel::X, static_cast<std::int16_t>(vertex), true,
                          bare_x_caption(vertex) + shown_x(crop.origin + x, form)});
        writes.push_back({ResultLabel::Y, static_cast<std::int16_t>(vertex), true,
                          bare_y_caption(vertex) + rounded_text(fit.at(x), 2)});
        ++vertex;
    }
    const std::string per = form.is_date() ? " per day" : "";
    writes.push_back({ResultLabel::Measure, 0, true,
                      fit.name == "constant"
                          ? "Level = " + rounded_text(fit.level, 2)
                          : "Slope = " + QString::number(fit.slope, 'g', 4).toStdString() + per});
    return writes;
}

}  // namespace

void frmMain::ForgetRefined()
{
    Results.refined.reset();
    ShownNull.clear();
    ShownEvent.reset();
    Results.intervals.reset();
    Results.lags.reset();  // the series' fits go as the window's own does
    if (frmLags)
        frmLags->hide();
    if (frmIntervals)
        frmIntervals->hide();
}

bool frmMain::HasRecord() const
{
    return session.has_best() || Results.refined.has_value() || CurrentComparison() != nullptr ||
           Results.scan.has_value() || Results.lags.has_value();
}

// The model in place of a best of best, after the search's results are forgotten as a family's
// double-click forgets them.
void frmMain::ShowComparedNull(const std::string& name)
{
    const FamilyComparison* comparison = CurrentComparison();
    const auto found =
        comparison ? std::find_if(comparison->nulls.begin(), comparison->nulls.end(),
                                  [&](const compare::NullFit& fit) { return fit.name == name; })
                   : std::vector<compare::NullFit>::const_iterator();
    if (Busy() || !comparison || found == comparison->nulls.end()) {
        if (platform.Beep)
            platform.Beep();
        return;
    }
    const compare::NullFit fit = *found;
    Reset();
    const double left = Picture1->ScaleLeft();
    const double right = left + static_cast<double>(Picture1->ScaleWidth());
    refine::RefinedFit shown;
    for (std::size_t k = 1; k <= 6; ++k) {  // vertices past the second lie on it
        const double x = k == 1 ? left : right;
        shown.model.x[k] = static_cast<float>(x);
        shown.model.y[k] = static_cast<float>(fit.at(x));
    }
    Results.refined = shown;
    ShownNull = name;
    Frame5->setEnabled(true);
    apply_label_writes(*this, null_label_writes(fit, left, right, session.crop_info(),
                                                session.x_form(), selected_family(*this)));
    Picture1->Cls();
    DrawBestOfBest();
    Command6->setEnabled(HasRecord());
}

}  // namespace tolvenar
