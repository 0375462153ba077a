// SPDX-License-Identifier: GPL-3.0-or-later
// "Refine best fit" and "Bootstrap intervals…" of the working plot's popup menu, both on the
// worker thread with their progress in the bars: the family's least-squares optimum from every
// start the searches left, drawn in place of the best of best and shown in " Best fitting ";
// then its intervals as a band and bars on the plot, tooltips on the labels and a table. The
// search's own best of best and boxes stay as they are, so the next "Run" goes on from the
// search.
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"
#include "ui/plot/intervals.h"
#include "ui/plot/model_drawings.h"

#include <memory>

namespace tolvenar {

namespace {

constexpr QRgb kBandShade = 0x50ff0000;     // the bootstrap's band, see-through over the data
constexpr QRgb kIntervalBar = 0xff000000;   // a break point's interval, over the red model
constexpr int kBandSamples = 400;           // band values across the crop window

// Tooltips of the refined values: their intervals, or none.
void show_interval_tips(frmMain& w, const std::vector<IntervalLine>& lines, double level)
{
    for (int i = 1; i <= 6; ++i) {
        w.Label2[i]->setToolTip({});
        w.Label3[i]->setToolTip({});
    }
    w.Label6->setToolTip({});
    const QString level_name = level_text(level);
    for (const IntervalLine& line : lines) {
        const QString tip =
            level_name + QStringLiteral(" interval: ") +
            QString::fromStdString((line.lo.empty() ? "not determined" : line.lo + " .. " + line.hi) +
                                   (line.note.empty() ? "" : " (" + line.note + ")"));
        const char letter = line.name.front();
        const int index = line.name.size() == 2 ? line.name[1] - '0' : 0;
        if (letter == 'X' && index >= 1 && index <= 6)
            w.Label2[index]->setToolTip(tip);
        else if (letter == 'Y' && index >= 1 && index <= 6)
            w.Label3[index]->setToolTip(tip);
        else
            w.Label6->setToolTip(tip);
    }
}

// The footer's line naming the values whose intervals were made as `made` says (the
// replicates' percentiles, a span of the profile; the rest studentized); empty when none were.
QString made_line(const std::vector<IntervalLine>& lines, const char* made)
{
    QStringList names;
    for (const IntervalLine& line : lines)
        if (line.note.find(made) != std::string::npos)
            names << QString::fromStdString(line.name);
    if (names.isEmpty())
        return {};
    return QStringLiteral("\n%1: %2").arg(names.join(QStringLiteral(", ")), QString::fromUtf8(made));
}

// The refined fit on display: " Best fitting ", the plot (with the band when there is one),
// the tooltips and the table.
void show_refined(frmMain& w, ModelFamily family)
{
    apply_label_writes(w, w.session.refined_report(family, *w.Results.refined).writes);
    w.Picture1->Cls();
    w.DrawBestOfBest();
    if (w.Check2->Value() == 1)
        w.DrawConstraint();
    if (!w.Results.intervals) {
        show_interval_tips(w, {}, w.IntervalChoice.level);
        return;
    }
    const std::vector<IntervalLine> lines =
        w.session.interval_lines(family, *w.Results.refined, *w.Results.intervals);
    show_interval_tips(w, lines, w.IntervalChoice.level);
    if (w.frmIntervals == nullptr)
        w.frmIntervals = new IntervalsWindow(&w);
    const std::size_t asked = w.Results.intervals->replicates.size();
    const QString resampling = QString::fromStdString(refine::resampling_text(
        *w.Results.intervals, w.session.x_form().is_date() ? " days" : ""));
    QString note = QStringLiteral("%1 replicates, %2, seed %3")
                       .arg(asked)
                       .arg(resampling)
                       .arg(w.IntervalChoice.seed);
    if (w.Results.intervals->done < asked)
        note = QStringLiteral("Stopped: from %1 of %2 replicates, %3, seed %4")
                   .arg(w.Results.intervals->done)
                   .arg(asked)
                   .arg(resampling)
                   .arg(w.IntervalChoice.seed);
    note += made_line(lines, kPercentileNote) + made_line(lines, kProfileNote);
    w.frmIntervals->showLines(lines, w.IntervalChoice.level, note);
    w.frmIntervals->show();
    w.frmIntervals->raise();
}

// A bar from each moved break point's interval's low end to its high end at the point's level,
// with a tick at either end.
void draw_interval_bars(frmMain& w)
{
    const std::optional<ModelFamily> family = selected_family(w);
    if (!family)
        return;
    const FamilyShape shape = family_shape(*family, w.session.vertices());
    std::vector<int> moved = shape.moved;
    if (shape.midway)
        moved.push_back(3);
    PictureBox& plot = *w.Picture1;
    const float tick = plot.ScaleHeight() / 40.0f;
    plot.setDrawWidth(2);
    for (const int k : moved) {
        const auto i = static_cast<std::size_t>(k);
        if (w.Results.intervals->x[i].reach == refine::Reach::Undetermined)
            continue;
        const auto lo = static_cast<float>(w.Results.intervals->x[i].lo);
        const auto hi = static_cast<float>(w.Results.intervals->x[i].hi);
        const auto y = static_cast<float>(w.Results.refined->y_origin +
                                          w.Results.refined->model.y[i]);
        plot.Line(lo, y, hi, y, kIntervalBar);
        plot.Line(lo, y - tick, lo, y + tick, kIntervalBar);
        plot.Line(hi, y - tick, hi, y + tick, kIntervalBar);
    }
    plot.setDrawWidth(1);
}

// The refinement (unless a refined fit is held) and the intervals when asked, on the worker.
void start_refine(frmMain& w, ModelFamily family, std::optional<IntervalRequest> intervals)
{
    JobSteps steps;
    steps.family = family;
    steps.refine = true;
    steps.bootstrap = intervals;
    w.StartJob(std::move(steps), std::make_shared<SearchObserver>(),
               [&w, family](const JobOutcome&) { show_refined(w, family); });
}

}  // namespace

// Both entries are enabled while there is a best of best to start from and no work runs.
void frmMain::mnuRB1_AboutToShow()
{
    const bool ready = session.has_best() && selected_family(*this).has_value() && !Busy();
    mnuRefine1->setEnabled(ready);
    // Several series' fits are bootstrapped together, for their lags' intervals.
    mnuBootstrap1->setEnabled(ready || (Results.lags && !Busy()));
}

void frmMain::mnuRefine1_Click()
{
    const std::optional<ModelFamily> family = selected_family(*this);
    if (!family || !session.has_best() || Busy())
        return;
    ForgetRefined();
    start_refine(*this, *family, std::nullopt);
}

void frmMain::mnuBootstrap1_Click()
{
    if (Results.lags && !Busy()) {  // the series fitted again, their replicates made together
        const auto choice = ask_choice<BootstrapDialog>(AskIntervals, IntervalChoice, this);
        if (!choice)
            return;
        IntervalChoice = *choice;
        IntervalsAsked = true;
        RunLags();
        return;
    }
    const std::optional<ModelFamily> family = selected_family(*this);
    if (!family || !session.has_best() || Busy())
        return;
    const auto choice = ask_choice<BootstrapDialog>(AskIntervals, IntervalChoice, this);
    if (!choice)
        return;
    IntervalChoice = *choice;
    IntervalsAsked = true;
    // A refined fit already made is bootstrapped as it is.
    start_refine(*this, *family, IntervalChoice);
}

// The band the replicates span at the level, or a bar over each moved break point's interval
// at its level.
void frmMain::DrawIntervals(bool bars)
{
    if (!Results.intervals || !Results.refined)
        return;
    if (bars) {
        draw_interval_bars(*this);
        return;
    }
    const double left = Picture1->ScaleLeft();
    const double right = left + Picture1->ScaleWidth();
    const refine::Band band =
        refine::curve_band(*Results.intervals, IntervalChoice.level, left, right, kBandSamples);
    const double origin = Results.refined->y_origin;
    std::vector<std::pair<double, double>> outline;
    for (std::size_t i = 0; i < band.x.size(); ++i)
        outline.emplace_back(band.x[i], origin + band.hi[i]);
    for (std::size_t i = band.x.size(); i-- > 0;)
        outline.emplace_back(band.x[i], origin + band.lo[i]);
    Picture1->Polygon(outline, kBandShade);
}

}  // namespace tolvenar
