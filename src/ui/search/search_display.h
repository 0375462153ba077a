// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows while "Run" searches: progress, the trial count, the candidate over the
// data, the run bests, the report and the convergence plot. The state of every control is
// written exactly as the search goes; the screen is updated at most once per display frame and
// always at the end of each run and of the search, with the latest candidate drawn (each
// trial's drawing clears the one before, so no other could be seen). Each update also pumps
// the window's events: input is dropped, Escape stops the search and closing the window stops
// it and then closes.
#pragma once

#include "core/search/report.h"
#include "core/search/search.h"
#include "ui/toolkit/busy_pump.h"

#include <QElapsedTimer>

#include <vector>

namespace tolvenar {

class frmMain;

class SearchDisplay final : public SearchObserver {
public:
    static constexpr qint64 kFrameMilliseconds = 16;  // about one display frame at 60 Hz

    explicit SearchDisplay(frmMain& window);
    ~SearchDisplay() override;  // the progress bars show their writes at once again
    SearchDisplay(const SearchDisplay&) = delete;
    SearchDisplay& operator=(const SearchDisplay&) = delete;

    void manual_box_stretched(const EngineState& state) override;
    void search_started(float runs_maximum) override;
    void run_started(std::int16_t run, float trials_maximum) override;
    void convergence_point_added(const EngineState& state, const ConvergenceScale& scale) override;
    void candidate_evaluated(const EngineState& state, std::int64_t trial) override;
    bool confirm_heavy_task(const TimeEstimate& estimate) override;
    void run_finished(const EngineState& state, std::int16_t run) override;
    void report_written(const ResultReport& report) override;
    void convergence_redrawn(const EngineState& state, const ConvergenceScale& scale) override;
    void search_finished(const EngineState& state) override;
    void search_failed(const EngineState& state, const SearchOutcome& outcome) override;
    bool stop_requested() override { return m_pump.stop_requested(); }

private:
    void drawTrace(const EngineState& state);  // lines from point 1 to point ConvergenceCount
    void showWhenDue();  // the window to the screen once a display frame has passed
    void showNow();

    frmMain& m_window;
    BusyPump m_pump;
    QElapsedTimer m_sinceShown;
    const EngineState* m_candidate = nullptr;  // a candidate not drawn yet
};

}  // namespace tolvenar
