// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/search/search_display.h"

#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/plot/model_drawings.h"

#include <future>
#include <memory>
#include <vector>

namespace tolvenar {

namespace {

using Trace = std::vector<ConvergencePoint>;  // slot 0 (the origin) and points 1..count

Trace trace_of(const SearchView& view)
{
    const auto points = view.trace();
    return {points.begin(), points.end()};
}

// The lines from point 1 to the last point.
void draw_trace(PictureBox& plot, const Trace& trace)
{
    for (std::size_t i = 2; i < trace.size(); ++i)
        plot.Line(trace[i - 1].x, trace[i - 1].y, trace[i].x, trace[i].y, kBestOfBestRed);
}

// The convergence plot at the scale the search last set: the first four points only set the top
// edge (the fourth is the top, the three larger ones lie above it), the lines show from the
// fifth point on.
void show_trace(PictureBox& plot, const ConvergenceScale& scale, const Trace& trace)
{
    plot.setScaleWidth(scale.width);
    plot.setScaleTop(scale.top);
    plot.setScaleHeight(scale.height);
    plot.Cls();
    if (trace.size() > 5)
        draw_trace(plot, trace);
}

}  // namespace

SearchDisplay::SearchDisplay(frmMain& window, WorkRunner& work)
    : m_window(window), m_work(work), m_shown(std::chrono::steady_clock::now()),
      m_scale(window.session.convergence_scale())
{
}

bool SearchDisplay::stop_requested()
{
    return m_work.stop_requested();
}

void SearchDisplay::handFrame(const SearchView& view, std::int64_t trial)
{
    m_shown = std::chrono::steady_clock::now();
    std::optional<Trace> trace;
    if (std::exchange(m_trace_new, false))
        trace = trace_of(view);
    m_work.hand_back_frame([w = &m_window, candidate = view.candidate(), best = view.best(),
                            trials = view.trials(), trial, scale = m_scale,
                            trace = std::move(trace)] {
        w->Label8->setCaption(QString::number(trials));
        w->ProgressBar1->setValue(static_cast<double>(trial));
        if (trace)
            show_trace(*w->Picture3, scale, *trace);
        PictureBox& plot = *w->Picture1;
        plot.Cls();
        plot.setDrawWidth(1);
        draw_model(plot, candidate, kCandidateGreen);
        draw_best_of_best(*w, best);
    });
}

void SearchDisplay::manual_box_stretched(const SearchView& view)
{
    m_work.hand_back([w = &m_window, boxes = view.manual_boxes(), n = view.vertices()] {
        w->WipePicture1();
        w->DrawCrop();
        draw_manual_boxes(*w, boxes, n);
        w->Picture1->Persist();
    });
}

void SearchDisplay::search_started(float runs_maximum)
{
    m_work.hand_back([w = &m_window, runs_maximum] {
        set_screen_mouse_pointer(pointer::kHourglass);
        ProgressBar& runs = *w->ProgressBar2;
        runs.setMin(0.0);
        runs.setMax(runs_maximum);
        runs.setVisible(true);
        w->Label7->setEnabled(true);
        w->Label8->setEnabled(true);
    });
}

void SearchDisplay::run_started(std::int16_t run, float trials_maximum)
{
    m_work.hand_back([w = &m_window, run, trials_maximum] {
        w->ProgressBar2->setValue(run);
        ProgressBar& trials = *w->ProgressBar1;
        trials.setMin(0.0);
        trials.setMax(trials_maximum);
        trials.setVisible(true);
        w->Picture1->Cls();  // the data and the orange bests of earlier runs
    });
}

void SearchDisplay::convergence_point_added(const SearchView&, const ConvergenceScale& scale)
{
    m_scale = scale;
    m_trace_new = true;
}

void SearchDisplay::candidate_evaluated(const SearchView& view, std::int64_t trial)
{
    m_trial = trial;
    if (std::chrono::steady_clock::now() - m_shown >= kFrame)
        handFrame(view, trial);
}

bool SearchDisplay::confirm_heavy_task(const TimeEstimate& estimate)
{
    // The question stands over the search as it is; the answer comes from the window's thread.
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> yes = answer->get_future();
    m_work.hand_back([w = &m_window, answer, seconds = estimate.whole_seconds] {
        w->platform.Beep();
        answer->set_value(w->platform.MsgBox(qtext(heavy_task_prompt(seconds)),
                                             MsgBoxButtons::YesNo,
                                             QStringLiteral("Heavy task!!")) != kMsgBoxNo);
    });
    while (yes.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (m_work.stop_requested())  // the window is closing
            return false;
    return yes.get();
}

void SearchDisplay::run_finished(const SearchView& view, std::int16_t)
{
    m_work.hand_back([w = &m_window, best = view.run_best(), trials = view.trials(),
                      trial = m_trial] {
        w->Label8->setCaption(QString::number(trials));  // the run's last trial, shown or not
        w->ProgressBar1->setValue(static_cast<double>(trial));
        PictureBox& plot = *w->Picture1;
        plot.Cls();
        plot.setDrawWidth(1);
        draw_model(plot, best, kRunBestOrange);
        plot.Persist();  // each run's best stays until the plot is wiped
        w->ProgressBar1->setVisible(false);
        w->Check1->setEnabled(true);
        w->Frame5->setEnabled(true);
    });
}

void SearchDisplay::report_written(const ResultReport& report)
{
    m_work.hand_back([w = &m_window, writes = report.writes] { apply_label_writes(*w, writes); });
}

void SearchDisplay::convergence_redrawn(const SearchView& view, const ConvergenceScale& scale)
{
    m_scale = scale;
    m_trace_new = false;
    m_work.hand_back([w = &m_window, scale, trace = trace_of(view)] {
        PictureBox& plot = *w->Picture3;
        plot.setScaleWidth(scale.width);
        plot.setScaleTop(scale.top);
        plot.setScaleHeight(scale.height);
        plot.Cls();
        draw_trace(plot, trace);
        // A level line from the latest best (slot 0, the origin, before any) to the right edge.
        const ConvergencePoint& last = trace.back();
        plot.Line(last.x, last.y, plot.ScaleWidth(), last.y, kBestOfBestRed);
    });
}

// The cleanup path: the working plot back to the bare data, the bars gone, and Label5 with the
// plain R of the best of best. Everything else keeps what the search had written.
void SearchDisplay::search_failed(const SearchView& view, const SearchOutcome&)
{
    m_work.hand_back([w = &m_window, r = m_window.session.cleanup_r_caption(),
                      trials = view.trials()] {
        for (ProgressBar* bar : {w->ProgressBar1, w->ProgressBar2}) {
            bar->setVisible(false);
            bar->setValue(0.0);
        }
        set_screen_mouse_pointer(pointer::kDefault);
        w->Label5->setCaption(qtext(r));
        // The count of the trial the fault stopped, which no picture may have shown.
        w->Label8->setCaption(QString::number(trials));
        w->WipePicture1();
        w->DrawCrop();
        w->Picture1->Persist();
    });
}

void show_search_finished(frmMain& w)
{
    ProgressBar& runs = *w.ProgressBar2;
    runs.setVisible(false);
    runs.setValue(0.0);
    w.Frame6->setEnabled(true);
    w.Command5->setEnabled(true);
    w.Command7->setEnabled(true);
    w.Check2->setEnabled(true);
    w.Command6->setEnabled(w.HasRecord());  // "Save"
    w.DrawBestOfBest();
    w.DrawConstraint();  // whatever "Show constraint" says
    set_screen_mouse_pointer(pointer::kDefault);
}

}  // namespace tolvenar
