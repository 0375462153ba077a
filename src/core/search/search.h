// SPDX-License-Identifier: GPL-3.0-or-later
// The Monte Carlo search: R runs of N random candidates, each scored against the cropped
// points, the run's best kept, promoted to the best of best, gathered into the constraint
// envelope and reported. Whatever a front end shows in the middle of the search it hears
// through a SearchObserver.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/family.h"
#include "core/model/fit.h"
#include "core/model/generate.h"
#include "core/runtime/fault.h"
#include "core/runtime/random_source.h"
#include "core/search/report.h"
#include "core/search/trial_batch.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
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

// What one search is asked to do.
struct SearchRequest {
    std::optional<ModelFamily> family;  // none: no candidate is drawn (no family chosen)
    // 0: candidates drawn freely (in the manual boxes for the drawn family); 1: inside the
    // constraint boxes; 2: not drawn at all (a choice that is neither), each trial scoring the
    // candidate left from before.
    std::int16_t constrain = 0;
    FieldNumber runs = 10.0;    // runs as typed; a fraction counts in the time estimate
    FieldNumber trials = 1000.0;  // trials per run, likewise
    float scale_left = 0.0f;    // the crop window's left edge in model x (see CropOrigin)
    float scale_width = 0.0f;   // its width: free candidates are mapped onto it
};

// The search's records as an observer may read them during its call: the candidate, the run's
// best, the best of best, the count of trials and the convergence trace.
class SearchView {
public:
    explicit SearchView(const EngineState& state) : m_state(state) {}

    Model candidate() const { return {m_state.ModelX, m_state.ModelY}; }
    Model run_best() const { return {m_state.BestModelX, m_state.BestModelY}; }
    Model best() const { return {m_state.BestOfBestX, m_state.BestOfBestY}; }
    float best_r() const { return m_state.BestOfBestR; }
    float best_sq_dist() const { return m_state.BestOfBestSqDist; }
    std::int32_t trials() const { return m_state.TrialCount; }
    // The trace's origin (slot 0) and its points 1..count.
    std::span<const ConvergencePoint> trace() const
    {
        return {m_state.ConvergenceTrace.data(),
                static_cast<std::size_t>(std::max<std::int16_t>(m_state.ConvergenceCount, 0)) + 1};
    }
    std::int16_t vertices() const { return m_state.NodeCount; }
    BoxLimits manual_boxes() const;

private:
    const EngineState& m_state;
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

// What a front end hears in the middle of the search, in order. Every method defaults to
// nothing (the question to Yes). candidate_evaluated is called on every trial: keep it cheap.
// A Fault thrown from a method ends the search like any other. Within a run, the crop's model
// values and the run best's R may lag behind the trial: both are as the plain search leaves
// them when a run ends. The view is valid during the call only.
class SearchObserver {
public:
    virtual ~SearchObserver() = default;

    // Start: the last manual box was stretched to the crop window's right edge.
    virtual void manual_box_stretched(const SearchView&) {}
    // Start: `runs_maximum` runs are to come.
    virtual void search_started(float /*runs_maximum*/) {}
    // Run start: run `run` of trials_maximum trials begins.
    virtual void run_started(std::int16_t /*run*/, float /*trials_maximum*/) {}
    // Trial: a new overall best is the trace's last point; the convergence plot's scale
    // follows it (the top from the first four points, the height from the fifth on).
    virtual void convergence_point_added(const SearchView&, const ConvergenceScale&) {}
    // Trial `trial` of the run has been scored.
    virtual void candidate_evaluated(const SearchView&, std::int64_t /*trial*/) {}
    // Trial 999 since the reset, with an estimate above 120 s: go on? false ends the search
    // through its cleanup path.
    virtual bool confirm_heavy_task(const TimeEstimate&) { return true; }
    // Run end: the run's best is final (before it is promoted to the best of best).
    virtual void run_finished(const SearchView&, std::int16_t /*run*/) {}
    // Run end: the report of the best of best (when report.fault is set the search fails next).
    virtual void report_written(const ResultReport&) {}
    // Run end: the convergence trace is complete for the run, at the scale.
    virtual void convergence_redrawn(const SearchView&, const ConvergenceScale&) {}
    // End: every run made (or the search stopped between trials).
    virtual void search_finished(const SearchView&) {}
    // End through the cleanup path: a fault, or No to the estimate.
    virtual void search_failed(const SearchView&, const SearchOutcome&) {}
    // After each trial and each run: true ends the search there. The run in progress closes with
    // its best so far as a whole run does, and the search ends as a completed one.
    virtual bool stop_requested() { return false; }
};

class SearchEngine {
public:
    using Clock = std::function<double()>;  // seconds on a monotonic clock

    SearchEngine();  // monotonic_seconds
    explicit SearchEngine(Clock clock);

    // Threads that score candidates, 1 or more; every core the process may use by default. The
    // results are the same, bit for bit, for every count.
    void set_threads(int threads) noexcept { m_threads = threads < 1 ? 1 : threads; }
    int threads() const noexcept { return m_threads; }

    // The whole search. A candidate whose generation or evaluation divides by zero (coinciding
    // break points) is no improvement and the search goes on: it writes neither CropModel nor
    // SqDist, and takes the draws any candidate of its family takes. Any other Fault ends the
    // search: the observer hears search_failed and the state keeps what the search had written
    // (best of best, envelope, TrialCount, trace, labels).
    SearchOutcome run(EngineState& state, const SearchRequest& settings, RandomSource& random,
                      SearchObserver& observer);

    ConvergenceScale& convergence_scale() noexcept { return m_scale; }

private:
    bool run_all(EngineState& state, const SearchRequest& settings, RandomSource& random,
                 SearchObserver& observer);
    enum class Next { Go, StopRun, Decline };
    struct Taken {
        Next next;
        std::int64_t trials;
    };
    Next plain_trial(EngineState& state, const SearchRequest& settings,
                     const GenerateControls& controls, bool scale_to_plot, RandomSource& random,
                     SearchObserver& observer, std::int64_t trial);
    Taken take_ready(EngineState& state, const SearchRequest& settings, RandomSource& random,
                     SearchObserver& observer, std::int64_t first_trial, int ready);
    Next after_trial(EngineState& state, const SearchRequest& settings, SearchObserver& observer,
                     std::int64_t trial);
    // The new run best in state.ModelX/ModelY/SqDist; its R is formed here unless `with_r` is
    // false (the caller forms it later).
    void take_best(EngineState& state, SearchObserver& observer, bool with_r = true);
    bool score_candidate(EngineState& state, const GenerateControls& controls, bool scale_to_plot,
                         RandomSource& random);
    void add_convergence_point(EngineState& state, SearchObserver& observer);
    std::optional<TimeEstimate> estimate(const EngineState& state,
                                         const SearchRequest& settings) const;

    Clock m_clock;
    CropScorer m_scorer;
    TrialBatch m_batch;
    bool m_batched = false;  // the crop was read for trials taken ahead
    int m_threads = 1;
    ConvergenceScale m_scale;
    double m_start = 0.0;  // clock at the start of the search
};

// A search of a crop of its own from a fresh best of best and fresh counters, as a window just
// cropped to it would make: each of `requests` in turn, going on from the last, on one thread.
struct CropSearch {
    bool completed = false;  // every search completed and one found a model
    Model best;
    float sq_dist = kUnsetBestOfBest;
    BoxLimits constraint;    // the boxes the unconstrained runs gathered
};
CropSearch search_crop(const FitCrop& crop, std::span<const SearchRequest> requests,
                       RandomSource& random, SearchObserver& observer);

// The best of best as the report shows it.
ReportedModel reported_best(const EngineState& state);

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
                              const SearchRequest& settings, const CountNames& names);

// The one line that says why the search named `search` ("search", "constrained search")
// stopped, e.g. "search stopped: overflow in GetR (the crop window holds no data point)"; ""
// when it completed.
std::string search_stop_line(std::string_view search, const SearchOutcome& outcome,
                             const EngineState& state, const SearchRequest& settings,
                             const CountNames& names);

}  // namespace tolvenar
