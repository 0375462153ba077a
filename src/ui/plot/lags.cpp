// SPDX-License-Identifier: GPL-3.0-or-later
// Several series of one file: "Run" fits each on the crop with the window's family and counts,
// refined and (once asked) bootstrapped, on the worker, and measures their lags against the
// reference (fit_lags), as tolvenar-fit --y ... --lag-to does. The working plot then shows each
// series scaled to its height in its own colour, with its fit and a bar over each moved break
// point's interval; the "Lags" table lists the lags and copies them.
#include "core/data/data_reader.h"
#include "core/report/lag_output.h"
#include "core/runtime/pool.h"
#include "core/window/crop.h"
#include "core/window/range_rules.h"
#include "ui/app/frm_main.h"
#include "ui/plot/intervals.h"

#include <QTableWidget>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

namespace tolvenar {

namespace {

// The window's own series in its blue, the others in colours apart from it and from each other.
constexpr std::array<QRgb, 6> kSeriesColours{kBlue,      0xff00a000, 0xffd000d0,
                                             0xff00a0a0, 0xffb06000, 0xff606060};
constexpr std::array<const char*, 6> kColourNames{"blue", "green", "magenta",
                                                  "teal", "brown", "grey"};

QRgb colour_of(std::size_t series)
{
    return kSeriesColours[series % kSeriesColours.size()];
}

// One series on the working plot: its rows within the crop scaled to the plot's height, broken
// at its own gaps; its refined fit and the bars over its moved break points' intervals.
void draw_series(frmMain& w, const LagSeries& series, const FitRecord& fit, QRgb colour)
{
    if (!fit.from || !fit.to)  // refused before its crop
        return;
    const DataTable& table = series.imported.series.table;
    const std::vector<double>& gaps = series.imported.series.gap_x;
    const double from = *fit.from, to = *fit.to;
    const double origin = w.session.crop_info().origin;  // of the plot's model x
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::int32_t row = 1; row <= table.DataCount; ++row) {
        const double x = cell_number(table.x_cell(row));
        if (x >= from && x <= to) {
            lo = std::min(lo, cell_number(table.y_cell(row)));
            hi = std::max(hi, cell_number(table.y_cell(row)));
        }
    }
    PictureBox& plot = *w.Picture1;
    const SeriesScale scaled = series_scale(lo, hi, plot.ScaleTop(), plot.ScaleHeight());
    std::optional<std::pair<double, double>> last;
    for (std::int32_t row = 1; row <= table.DataCount; ++row) {
        const double x = cell_number(table.x_cell(row));
        if (x < from || x > to)
            continue;
        const double y = scaled(cell_number(table.y_cell(row)));
        if (last && (gaps.empty() || gaps_within(gaps, last->first, x) == 0))
            plot.Line(static_cast<float>(last->first - origin), static_cast<float>(last->second),
                      static_cast<float>(x - origin), static_cast<float>(y), colour);
        last = {x, y};
    }
    if (!fit.found || !fit.found->refined)
        return;
    const FoundModel& found = *fit.found;
    const RefinedModel& model = *found.refined;
    const auto at = [&](std::size_t k) {
        return std::pair{static_cast<float>(found.origin + model.x[k] - origin),
                         static_cast<float>(scaled(model.data_y(k)))};
    };
    plot.setDrawWidth(2);
    for (std::size_t k = 2; k <= static_cast<std::size_t>(found.vertices); ++k)
        plot.Line(at(k - 1).first, at(k - 1).second, at(k).first, at(k).second, colour);
    if (model.intervals) {
        const FamilyShape shape = family_shape(fit.request.family, found.vertices);
        const float tick = std::fabs(plot.ScaleHeight()) / 40.0f;
        for (const int k : shape.moved) {
            const Range& range = model.intervals->x[static_cast<std::size_t>(k)];
            if (range.reach == refine::Reach::Undetermined)
                continue;
            const float y = at(static_cast<std::size_t>(k)).second;
            const auto x_of = [&](double model_x) {
                return static_cast<float>(found.origin + model_x - origin);
            };
            plot.Line(x_of(range.lo), y, x_of(range.hi), y, colour);
            plot.Line(x_of(range.lo), y - tick, x_of(range.lo), y + tick, colour);
            plot.Line(x_of(range.hi), y - tick, x_of(range.hi), y + tick, colour);
        }
    }
    plot.setDrawWidth(1);
}

// What the plot's colours stand for, and how the fit ended when not as asked.
QString lags_note(const frmMain& w, const LagRecord& record)
{
    QStringList lines;
    if (!record.lags.empty())
        lines << QString::fromStdString(lag_headline(record));
    QStringList colours;
    for (std::size_t i = 0; i < w.Several.size(); ++i)
        colours << QStringLiteral("%1 %2")
                       .arg(QString::fromStdString(w.Several[i].title))
                       .arg(QLatin1String(kColourNames[i % kColourNames.size()]));
    lines << QStringLiteral("On the plot: ") + colours.join(QStringLiteral(", "));
    if (!record.reason.empty())
        lines << QString::fromStdString(record.reason);
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

void frmMain::RunLags()
{
    LagStep step;
    step.series = Several;
    step.reference = LagReference;
    step.request = WindowFitRequest(true);
    step.file = state.DataFile;
    step.threads = static_cast<int>(usable_cores());
    JobSteps steps;
    steps.lags = std::move(step);
    ForgetRefined();
    StartJob(std::move(steps), std::make_shared<SearchObserver>(),
             [this](const JobOutcome&) { ShowLags(); });
}

void frmMain::DrawLags()
{
    if (!Results.lags)
        return;
    const LagRecord& record = *Results.lags;
    for (std::size_t i = 0; i < record.series.size() && i < Several.size(); ++i)
        draw_series(*this, Several[i], record.series[i], colour_of(i));
}

void frmMain::ShowLags()
{
    if (!Results.lags)
        return;
    const LagRecord& record = *Results.lags;
    if (record.series.empty()) {  // refused before any fit
        SayWhy(QStringLiteral("Run"), record.reason);
        return;
    }
    WipePicture1();
    DrawLags();
    if (frmLags == nullptr) {
        frmLags = new TableWindow(QStringLiteral("Lags"), QSize(560, 260), this);
        frmLags->Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    }
    frmLags->showCells(lag_rows(record), lags_note(*this, record));
    for (int row = 0; row < frmLags->Table->rowCount(); ++row) {  // each series in its colour
        const std::string& title = record.lags[static_cast<std::size_t>(row)].series;
        const auto found = std::find(record.titles.begin(), record.titles.end(), title);
        frmLags->Table->item(row, 0)->setForeground(QColor::fromRgba(
            colour_of(static_cast<std::size_t>(found - record.titles.begin()))));
    }
    frmLags->show();
    frmLags->raise();
    Command6->setEnabled(HasRecord());
}

}  // namespace tolvenar
