// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo search behind "Run": R runs of N random candidates, each scored against the
// cropped points, the run's best kept, promoted to the best of best, gathered into the
// constraint envelope and reported. Everything the window shows in the middle of the search
// goes through a SearchObserver; the command line passes the empty one.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/family.h"
#include "core/model/fit.h"
#include "core/model/generate.h"
#include "core/runtime/fault.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/trial_batch.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tolvenar {

// A count field's number: the leading number of its text, or the fault that reading it raised
// (a magnitude beyond the double range). The search raises that fault when it first reads the
// count, which ends the search at that step like any other fault.
class FieldNumber {
public:
    FieldNumber(double value = 0.0) noexcept : m_value(value) {}  // implicit: a plain count
    static FieldNumber of_text(std::string_view text);

    double value() const;  // raises the fault of the text's reading, if any

private:
    double m_value = 0.0;
    std::optional<Fault> m_fault;
};

// The window controls the search reads.
struct SearchSettings {
    std::optional<ModelFamily> family;  // the selected option button; nullopt = none selected
    std::int16_t constrain = 0;         // "Constrain" check box: 0, 1 or 2 (greyed)
    FieldNumber runs = 10.0;            // Text6; a fraction counts in the time estimate
    FieldNumber trials = 1000.0;        // Text3(0), likewise
    float scale_left = 0.0f;            // working plot ScaleLeft, model x (see CropOrigin)
    float scale_width = 0.0f;           // working plot ScaleWidth
};

// User scale of the convergence plot. It lives as long as the plot (the window's picture box,
// the command line's engine): the search sets width on every point and redraw, top for the
// first four points and height from the fifth on (using the top then in force).
struct ConvergenceScale {
    float top = 0.0f;
    float height = 1.0f;  // until the fifth point: whatever the plot had
    float width = 1.0f;
};

// The estimate on the 999th trial since the last reset, when it exceeds 120 s.
struct TimeEstimate {
    float seconds = 0.0f;            // elapsed * (runs * trials) / TrialCount, single
    std::int32_t whole_seconds = 0;  // seconds rounded half-even
};

enum class SearchEnd {
    Completed,  // every run made
    Declined,   // "No" to the time estimate: the cleanup path
    Faulted,    // a runtime fault: the cleanup path
};

struct SearchOutcome {
    SearchEnd end = SearchEnd::Completed;
    std::optional<Fault> fault;  // set when end == Faulted
};

// What the window does in the middle of the search. Every method defaults to nothing (the
// question to Yes). candidate_evaluated is called on every trial: keep it cheap, and throttle
// screen pushes there. A Fault thrown from a method ends the search like any other. Within a
// run, the state's crop model values and BestModelR may lag behind the trial: both are as the
// plain search leaves them when a run ends.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;

    // Start: the last manual box was stretched to the plot's right edge (ManXMax(NodeCount)):
    // wipe, draw the crop and the boxes, persist, refresh.
    virtual void manual_box_stretched(const EngineState&) {}
    // Start: hourglass; ProgressBar2 0..runs_maximum shown; Label7 and Label8 enabled.
    virtual void search_started(float /*runs_maximum*/) {}
    // Run start: ProgressBar2 = run; ProgressBar1 0..trials_maximum shown; clear the working
    // plot to its background and refresh.
    virtual void run_started(std::int16_t /*run*/, float /*trials_maximum*/) {}
    // Trial: a new overall best is point ConvergenceCount of ConvergenceTrace; the plot takes
    // the scale, is cleared, and from the fifth point on shows the lines from point 1.
    virtual void convergence_point_added(const EngineState&, const ConvergenceScale&) {}
    // Trial: Label8 = TrialCount; the candidate ModelX/Y drawn green over the cleared plot with
    // the best of best in red; ProgressBar1 = trial; refresh.
    virtual void candidate_evaluated(const EngineState&, std::int64_t /*trial*/) {}
    // Trial 999 since the reset, estimate above 120 s: beep and ask "Heavy task!!". false = No.
    virtual bool confirm_heavy_task(const TimeEstimate&) { return true; }
    // Run end: the run's best BestModelX/Y drawn orange and persisted; ProgressBar1 hidden;
    // Check1 and Frame5 enabled.
    virtual void run_finished(const EngineState&, std::int16_t /*run*/) {}
    // Run end: apply the report's writes (when report.fault is set the search fails next).
    virtual void report_written(const ResultReport&) {}
    // Run end: the convergence plot redrawn in full at the scale, with the level line from the
    // last point (slot 0 when none) to the right edge.
    virtual void convergence_redrawn(const EngineState&, const ConvergenceScale&) {}
    // End: ProgressBar2 hidden; Frame6, Command5, Command7, Check2 enabled; best of best and
    // constraint boxes drawn; pointer back.
    virtual void search_finished(const EngineState&) {}
    // Cleanup path (fault or No): wipe and redraw the crop, hide both bars, pointer back,
    // Label5 = BestOfBestR as plain number text.
    virtual void search_failed(const EngineState&, const SearchOutcome&) {}
    // After each trial and each run: true ends the search there. The run in progress closes with
    // its best so far as a whole run does, and the search ends as a completed one.
    virtual bool stop_requested() { return false; }
};

class SearchEngine {
public:
    using Clock = std::function<double()>;  // seconds on a monotonic clock

    SearchEngine();  // monotonic_seconds
    explicit SearchEngine(Clock clock);

    // Threads that score candidates, 1 or more; all the processor's cores by default. The
    // results are the same, bit for bit, for every count.
    void set_threads(int threads) noexcept { m_threads = threads < 1 ? 1 : threads; }
    int threads() const noexcept { return m_threads; }

    // The whole search. A candidate whose generation or evaluation divides by zero (coinciding
    // break points) is no improvement and the search goes on: it writes neither CropModel nor
    // SqDist, and takes the draws any candidate of its family takes. Any other Fault ends the
    // search: the observer hears search_failed and the state keeps what the search had written
    // (best of best, envelope, TrialCount, trace, labels).
    SearchOutcome run(EngineState& state, const SearchSettings& settings, RandomSource& random,
                      SearchObserver& observer);

    ConvergenceScale& convergence_scale() noexcept { return m_scale; }

private:
    bool run_all(EngineState& state, const SearchSettings& settings, RandomSource& random,
                 SearchObserver& observer);
    enum class Next { Go, StopRun, Decline };
    struct Taken {
        Next next;
        std::int64_t trials;
    };
    Next plain_trial(EngineState& state, const SearchSettings& settings,
                     const GenerateControls& controls, bool scale_to_plot, RandomSource& random,
                     SearchObserver& observer, std::int64_t trial);
    Taken take_ready(EngineState& state, const SearchSettings& settings, RandomSource& random,
                     SearchObserver& observer, std::int64_t first_trial, int ready);
    Next after_trial(EngineState& state, const SearchSettings& settings, SearchObserver& observer,
                     std::int64_t trial);
    // The new run best in state.ModelX/ModelY/SqDist; its R is formed here unless `with_r` is
    // false (the caller forms it later).
    void take_best(EngineState& state, SearchObserver& observer, bool with_r = true);
    bool score_candidate(EngineState& state, const GenerateControls& controls, bool scale_to_plot,
                         RandomSource& random);
    void add_convergence_point(EngineState& state, SearchObserver& observer);
    std::optional<TimeEstimate> estimate(const EngineState& state,
                                         const SearchSettings& settings) const;

    Clock m_clock;
    CropScorer m_scorer;
    TrialBatch m_batch;
    bool m_batched = false;  // the crop was read for trials taken ahead
    int m_threads = 1;
    ConvergenceScale m_scale;
    double m_start = 0.0;  // clock at the start of the search
};

// The estimate of `seconds`; whole seconds beyond the 32-bit range raise an Overflow.
TimeEstimate time_estimate(float seconds);

// "Estimated processing time: H:MM:SS (hh:mm:ss). Do you continue?" for whole_seconds >= 0: every
// digit of the hours, at least two, so that a search of days never reads as one of minutes.
std::string heavy_task_prompt(std::int32_t whole_seconds);

// The run and trial counts as the user gave them, for the reasons below: "--runs 1e400" on the
// command line.
struct CountNames {
    std::string runs;
    std::string trials;
};

// What in the input or which limit lies behind a search's `fault`, or "" when the fault tells
// all, e.g. "--runs 40000 lies outside -32768..32767".
std::string search_fault_hint(const Fault& fault, const EngineState& state,
                              const SearchSettings& settings, const CountNames& names);

// The one line that says why the search named `search` ("search", "constrained search")
// stopped, e.g. "search stopped: overflow in GetR (the crop window holds no data point)"; ""
// when it completed.
std::string search_stop_line(std::string_view search, const SearchOutcome& outcome,
                             const EngineState& state, const SearchSettings& settings,
                             const CountNames& names);

}  // namespace tolvenar
