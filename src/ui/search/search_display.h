// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows while "Run" searches on the worker thread: progress, the trial count,
// the candidate over the data, the run bests, the report and the convergence plot. The observer
// runs on the worker and hands copies back to the window's thread, where they are drawn in the
// order the search made them. The candidate, the count and the convergence plot go as one
// picture at most once per display frame (each trial's drawing clears the one before, so no
// other could be seen); everything a run's end writes goes every time.
#pragma once

#include "core/search/search.h"

#include <chrono>
#include <cstdint>

namespace tolvenar {

class frmMain;
class WorkRunner;

class SearchDisplay final : public SearchObserver {
public:
    static constexpr std::chrono::milliseconds kFrame{16};  // about one display frame at 60 Hz

    SearchDisplay(frmMain& window, WorkRunner& work);

    void manual_box_stretched(const SearchView& view) override;
    void search_started(float runs_maximum) override;
    void run_started(std::int16_t run, float trials_maximum) override;
    void convergence_point_added(const SearchView& view, const ConvergenceScale& scale) override;
    void candidate_evaluated(const SearchView& view, std::int64_t trial) override;
    bool confirm_heavy_task(const TimeEstimate& estimate) override;
    void run_finished(const SearchView& view, std::int16_t run) override;
    void report_written(const ResultReport& report) override;
    void convergence_redrawn(const SearchView& view, const ConvergenceScale& scale) override;
    void search_failed(const SearchView& view, const SearchOutcome& outcome) override;
    bool stop_requested() override;

private:
    void handFrame(const SearchView& view, std::int64_t trial);

    frmMain& m_window;
    WorkRunner& m_work;
    std::chrono::steady_clock::time_point m_shown;
    ConvergenceScale m_scale;   // the convergence plot's scale as the search last set it
    bool m_trace_new = false;   // a convergence point came since the last picture
    std::int64_t m_trial = 0;   // the run's last trial scored
};

// The window's side of a search's end: the bars gone, the display settings and "Reset" enabled,
// the best of best and the boxes drawn, the pointer back.
void show_search_finished(frmMain& window);

}  // namespace tolvenar
