// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/search/search_display.h"

#include "ui/app/frm_main.h"
#include "ui/app/result_labels.h"
#include "ui/plot/model_drawings.h"

namespace tolvenar {

SearchDisplay::SearchDisplay(frmMain& window) : m_window(window), m_pump(window)
{
    m_window.ProgressBar1->setDisplayDeferred(true);
    m_window.ProgressBar2->setDisplayDeferred(true);
    m_sinceShown.start();
}

SearchDisplay::~SearchDisplay()
{
    m_window.ProgressBar1->setDisplayDeferred(false);
    m_window.ProgressBar2->setDisplayDeferred(false);
}

void SearchDisplay::showWhenDue()
{
    if (m_sinceShown.elapsed() >= kFrameMilliseconds)
        showNow();
}

void SearchDisplay::showNow()
{
    if (m_candidate != nullptr) {
        // Only the latest candidate can be seen: the next trial's clears it.
        PictureBox& plot = *m_window.Picture1;
        plot.Cls();
        plot.setDrawWidth(1);
        draw_model(plot, m_candidate->ModelX, m_candidate->ModelY, kCandidateGreen);
        m_window.DrawBestOfBest();
        m_candidate = nullptr;
    }
    m_window.ProgressBar1->showPending();
    m_window.ProgressBar2->showPending();
    m_window.Refresh();
    m_pump.pump();
    m_sinceShown.start();
}

void SearchDisplay::manual_box_stretched(const EngineState&)
{
    m_window.WipePicture1();
    m_window.DrawCrop();
    m_window.DrawBox();
    m_window.Picture1->Persist();
    m_window.Picture1->Refresh();
}

void SearchDisplay::search_started(float runs_maximum)
{
    set_screen_mouse_pointer(pointer::kHourglass);  // input is dropped until the search ends
    ProgressBar& runs = *m_window.ProgressBar2;
    runs.setMin(0.0);
    runs.setMax(runs_maximum);
    runs.setVisible(true);
    m_window.Label7->setEnabled(true);
    m_window.Label8->setEnabled(true);
}

void SearchDisplay::run_started(std::int16_t run, float trials_maximum)
{
    m_window.ProgressBar2->setValue(run);
    ProgressBar& trials = *m_window.ProgressBar1;
    trials.setMin(0.0);
    trials.setMax(trials_maximum);
    trials.setVisible(true);
    m_candidate = nullptr;
    m_window.Picture1->Cls();  // the data and the orange bests of earlier runs
    showWhenDue();
}

void SearchDisplay::drawTrace(const EngineState& state)
{
    PictureBox& plot = *m_window.Picture3;
    for (std::size_t i = 2; i <= static_cast<std::size_t>(state.ConvergenceCount); ++i) {
        const ConvergencePoint& from = state.ConvergenceTrace[i - 1];
        const ConvergencePoint& to = state.ConvergenceTrace[i];
        plot.Line(from.x, from.y, to.x, to.y, kBestOfBestRed);
    }
}

void SearchDisplay::convergence_point_added(const EngineState& state,
                                            const ConvergenceScale& scale)
{
    PictureBox& plot = *m_window.Picture3;
    plot.setScaleWidth(scale.width);
    plot.Cls();
    // The first four points only set the top edge: the fourth is the top, the three larger ones
    // lie above it.
    if (state.ConvergenceCount > 4) {
        plot.setScaleHeight(scale.height);
        drawTrace(state);
    } else {
        plot.setScaleTop(scale.top);
    }
}

void SearchDisplay::candidate_evaluated(const EngineState& state, std::int64_t trial)
{
    m_window.Label8->setCaption(QString::number(state.TrialCount));
    m_candidate = &state;  // drawn when the screen is next updated
    m_window.ProgressBar1->setValue(static_cast<double>(trial));
    showWhenDue();
}

bool SearchDisplay::confirm_heavy_task(const TimeEstimate& estimate)
{
    showNow();  // the question stands over the search as it is
    m_window.platform.Beep();
    return m_window.platform.MsgBox(qtext(heavy_task_prompt(estimate.whole_seconds)),
                                    MsgBoxButtons::YesNo,
                                    QStringLiteral("Heavy task!!")) != kMsgBoxNo;
}

void SearchDisplay::run_finished(const EngineState& state, std::int16_t)
{
    m_candidate = nullptr;
    PictureBox& plot = *m_window.Picture1;
    plot.Cls();
    plot.setDrawWidth(1);
    draw_model(plot, state.BestModelX, state.BestModelY, kRunBestOrange);
    plot.Persist();  // each run's best stays until the plot is wiped
    m_window.ProgressBar1->setVisible(false);
    m_window.Check1->setEnabled(true);
    m_window.Frame5->setEnabled(true);
}

void SearchDisplay::report_written(const ResultReport& report)
{
    apply_label_writes(m_window, report.writes);
}

void SearchDisplay::convergence_redrawn(const EngineState& state, const ConvergenceScale& scale)
{
    PictureBox& plot = *m_window.Picture3;
    plot.setScaleWidth(scale.width);
    plot.Cls();
    drawTrace(state);
    // A level line from the latest best (slot 0, the origin, before any) to the right edge.
    const ConvergencePoint& last =
        state.ConvergenceTrace[static_cast<std::size_t>(state.ConvergenceCount)];
    plot.Line(last.x, last.y, plot.ScaleWidth(), last.y, kBestOfBestRed);
    showNow();  // the end of every run reaches the screen
}

void SearchDisplay::search_finished(const EngineState&)
{
    ProgressBar& runs = *m_window.ProgressBar2;
    runs.setVisible(false);
    runs.setValue(0.0);
    m_window.Frame6->setEnabled(true);
    m_window.Command5->setEnabled(true);
    m_window.Command7->setEnabled(true);
    m_window.Check2->setEnabled(true);
    m_window.DrawBestOfBest();
    m_window.DrawConstraint();  // whatever "Show constraint" says
    set_screen_mouse_pointer(pointer::kDefault);
    showNow();
}

// The cleanup path: the working plot back to the bare data, the bars gone, and Label5 with the
// plain R of the best of best. Everything else keeps what the search had written.
void SearchDisplay::search_failed(const EngineState& state, const SearchOutcome&)
{
    for (ProgressBar* bar : {m_window.ProgressBar1, m_window.ProgressBar2}) {
        bar->setVisible(false);
        bar->setValue(0.0);
    }
    set_screen_mouse_pointer(pointer::kDefault);
    m_candidate = nullptr;
    m_window.Label5->setCaption(qtext(cleanup_r_caption(state)));
    // The count of the trial the fault stopped, which the trial's own write did not reach.
    m_window.Label8->setCaption(QString::number(state.TrialCount));
    m_window.WipePicture1();
    m_window.DrawCrop();
    m_window.Picture1->Persist();
    showNow();
}

}  // namespace tolvenar
