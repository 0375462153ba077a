// SPDX-License-Identifier: GPL-3.0-or-later
// "Find events…" of the overview strip's popup (the whole series) and of the working plot's
// (the crop): the scan on the worker with its progress in the bar (events fitted of those
// found), each event fitted on its own crop as tolvenar-fit --scan fits it. The events are
// marked on the strip and listed in the "Events" table; a row double-clicked puts the crop on
// the event and shows its refined fit as "Run" and "Refine best fit" on that crop show one,
// from the scan's record without a new fit. "Save" then writes the scan.
#include "core/job/scan_job.h"
#include "core/report/scan_output.h"
#include "core/runtime/pool.h"
#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/model/model_controls.h"
#include "ui/plot/event_marks.h"
#include "ui/plot/intervals.h"

#include <QTableWidget>

#include <memory>

namespace tolvenar {

namespace {

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

// The table's note: what the scan saw, the events without a fit, and a stop.
QString scan_note(const ScanRecord& record, const ScanTable& table)
{
    QStringList lines;
    if (scan_ran(record))
        lines << text_of(scan_headline(record));
    for (const std::string& note : table.notes)
        lines << text_of(note);
    if (record.code == kExitInterrupted)
        lines << QStringLiteral("Stopped: ") + text_of(record.reason);
    return lines.join(QLatin1Char('\n'));
}

void show_scan(frmMain& w)
{
    const ScanRecord& record = *w.Results.scan;
    if (record.code == kExitRefused) {
        w.ForgetScan();
        w.SayWhy(QStringLiteral("Find events"), record.reason);
        return;
    }
    if (w.StripMarks == nullptr)
        w.StripMarks = new EventMarks(w.Picture2);
    w.StripMarks->stackUnder(w.Shape1);
    w.StripMarks->setSpans(event_spans(record));
    if (w.frmEvents == nullptr) {
        w.frmEvents = new TableWindow(QStringLiteral("Events"), QSize(760, 330), &w);
        w.frmEvents->Table->setSelectionBehavior(QAbstractItemView::SelectRows);
        w.frmEvents->Table->setToolTip(QStringLiteral("Double-click an event to show its fit"));
        w.frmEvents->onChoose = [&w](int row) { w.ShowEvent(static_cast<std::size_t>(row)); };
    }
    const ScanTable table = scan_table(record);
    std::vector<std::vector<std::string>> cells{table.titles};
    cells.insert(cells.end(), table.rows.begin(), table.rows.end());
    w.frmEvents->showCells(cells, scan_note(record, table));
    w.frmEvents->show();
    w.frmEvents->raise();
    w.Command6->setEnabled(w.HasRecord());
}

void find_events(frmMain& w, bool on_crop)
{
    if (w.Busy() || !w.state.PreviewDrawn || (on_crop && w.session.crop_info().points == 0))
        return;
    JobSteps steps;
    ScanRequest request;
    request.fit = w.WindowFitRequest(on_crop);
    steps.scan = ScanStep{std::move(request), w.Series, w.state.DataFile,
                          static_cast<int>(usable_cores())};
    w.StartJob(std::move(steps), std::make_shared<SearchObserver>(),
               [&w](const JobOutcome&) {
                   if (w.Results.scan)
                       show_scan(w);
               });
}

// The event's crop typed into the bound fields as a user types it, the bound that keeps the
// two in order first.
void type_crop(frmMain& w, const FitRequest& event)
{
    const QString from = text_of(event.from->text), to = text_of(event.to->text);
    const double right_now = parse_leading_number(w.XNumberText(w.Text5->Text()).value_or("0"));
    w.state.BoxTyping = true;
    if (event.from->value < right_now) {
        w.Text4->setText(from);
        w.Text5->setText(to);
    } else {
        w.Text5->setText(to);
        w.Text4->setText(from);
    }
    w.state.BoxTyping = false;
}

}  // namespace

FitRequest frmMain::WindowFitRequest(bool on_crop) const
{
    FitRequest fit;
    const std::optional<ModelFamily> family = selected_family(*this);
    fit.family = family && !drawn_family(family) ? *family : ModelFamily::SimpleRamp;
    fit.searches = {SearchStep{Text6->Text().toStdString(), Text3[0]->Text().toStdString(), false}};
    fit.names = {"runs ", "trials "};
    fit.refine = true;
    if (IntervalsAsked) {
        fit.bootstrap = IntervalChoice.replicates;
        fit.level = IntervalChoice.level;
        fit.bootstrap_search = IntervalChoice.search;
        if (IntervalChoice.seed != fit.seed)
            fit.bootstrap_seed = IntervalChoice.seed;
    }
    if (on_crop) {
        const CropEdges edges = CropWindowEdges();
        fit.from = Edge{edges.from, "the crop's left edge", "", false};
        fit.to = Edge{edges.to, "the crop's right edge", "", false};
    }
    return fit;
}

void frmMain::mnuFindEvents_AboutToShow()
{
    const bool loaded = state.PreviewDrawn && !Busy();
    mnuFindEvents2->setEnabled(loaded);
    mnuFindEvents1->setEnabled(loaded && session.crop_info().points > 0);
}

void frmMain::mnuFindEvents1_Click()
{
    find_events(*this, true);
}

void frmMain::mnuFindEvents2_Click()
{
    find_events(*this, false);
}

void frmMain::ShowEvent(std::size_t index)
{
    const bool fitted = Results.scan && index < Results.scan->events.size() &&
                        Results.scan->events[index].found &&
                        Results.scan->events[index].found->refined;
    if (Busy() || !fitted) {
        if (platform.Beep)
            platform.Beep();
        return;
    }
    const FitRecord event = Results.scan->events[index];  // the handlers below keep the scan
    const FoundModel& found = *event.found;
    const ModelFamily family = event.request.family;
    Option1[static_cast<int>(family)]->select();
    type_crop(*this, event.request);
    if (!state.CropRefusal.empty())
        return;
    // The record's model x are from its crop's origin; the window's crop has the same rows.
    const auto shift = static_cast<float>(found.origin - session.crop_info().origin);
    refine::RefinedFit shown;
    shown.y_origin = found.refined->y_origin;
    for (std::size_t k = 1; k < shown.model.x.size(); ++k) {
        shown.model.x[k] = found.refined->x[k] + shift;
        shown.model.y[k] = found.refined->y[k];
    }
    shown.sq_dist = found.refined->sq_dist;
    shown.r = found.refined->r;
    shown.measure = found.refined->measure;
    shown.improved = true;
    Results.refined = shown;
    ShownEvent = index;
    Frame5->setEnabled(true);
    apply_label_writes(*this, session.refined_report(family, shown).writes);
    Picture1->Cls();
    DrawBestOfBest();
    Command6->setEnabled(HasRecord());
    if (frmEvents)
        frmEvents->Table->selectRow(static_cast<int>(index));
}

void frmMain::ForgetScan()
{
    Results.scan.reset();
    ShownEvent.reset();
    if (StripMarks)
        StripMarks->setSpans({});
    if (frmEvents)
        frmEvents->hide();
}

bool frmMain::SavesScan() const
{
    return Results.scan && !session.has_best() && (!Results.refined || ShownEvent) &&
           CurrentComparison() == nullptr;
}

}  // namespace tolvenar
