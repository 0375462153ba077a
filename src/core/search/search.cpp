// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/search.h"

#include "core/model/engine_state.h"
#include "core/model/generate.h"
#include "core/model/single_ops.h"
#include "core/runtime/clock.h"
#include "core/runtime/numbers.h"
#include "core/runtime/pool.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace tolvenar {

namespace {

constexpr std::int32_t kEstimateTrial = 999;  // the estimate is made when TrialCount reaches it
constexpr float kEstimateThreshold = 120.0f;  // seconds above which the user is asked
// Point evaluations drawn ahead at a time: some 20 ms on one core, so that a window between
// them stays responsive, and long enough that setting up a batch costs little.
constexpr std::int64_t kBatchPoints = std::int64_t{1} << 25;
constexpr std::int64_t kFewestBatchTrials = 64;
constexpr std::int64_t kMostBatchTrials = 32768;

void count_trial(EngineState& state)
{
    if (state.TrialCount == std::numeric_limits<std::int32_t>::max())
        throw Fault(FaultKind::Overflow, "TrialCount");
    ++state.TrialCount;
}

// A single written into a plot's scale property: zero is refused.
float scale_extent(float value, const char* where)
{
    if (value == 0.0f)
        throw Fault(FaultKind::InvalidPropertyValue, where);
    return value;
}

std::string two_digits(std::int32_t value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Start step: the last manual box reaches the plot's right edge; the boxes after it copy it.
void stretch_manual_boxes(EngineState& state, const SearchRequest& settings,
                          SearchObserver& observer)
{
    const float right = single::add(settings.scale_left, settings.scale_width, "Run");
    const std::int16_t k = state.NodeCount;
    if (k < 0 || k > 6)
        throw Fault(FaultKind::IndexOutOfRange, "NodeCount");
    if (right > state.ManXMax[k]) {
        state.ManXMax[k] = right;
        observer.manual_box_stretched(SearchView(state));
    }
    for (int i = k + 1; i <= 6; ++i) {
        state.ManXMin[i] = state.ManXMin[i - 1];
        state.ManYMin[i] = state.ManYMin[i - 1];
        state.ManXMax[i] = state.ManXMax[i - 1];
        state.ManYMax[i] = state.ManYMax[i - 1];
    }
}

}  // namespace

BoxLimits SearchView::manual_boxes() const
{
    return {m_state.ManXMin, m_state.ManXMax, m_state.ManYMin, m_state.ManYMax};
}

FieldNumber FieldNumber::of_text(std::string_view text)
{
    try {
        return parse_leading_number(text);
    } catch (const Fault& fault) {
        FieldNumber number;
        number.m_fault = fault;
        return number;
    }
}

double FieldNumber::value() const
{
    if (m_fault)
        throw *m_fault;
    return m_value;
}

TimeEstimate time_estimate(float seconds)
{
    return {seconds, to_int32(static_cast<double>(seconds))};
}

std::string heavy_task_prompt(std::int32_t whole_seconds)
{
    const std::int32_t minutes = whole_seconds / 60;
    return "Estimated processing time: " + two_digits(minutes / 60) + ":" +
           two_digits(minutes % 60) + ":" + two_digits(whole_seconds % 60) +
           " (hh:mm:ss). Do you continue?";
}

SearchEngine::SearchEngine() : SearchEngine(&monotonic_seconds) {}

SearchEngine::SearchEngine(Clock clock)
    : m_clock(std::move(clock)), m_threads(static_cast<int>(usable_cores()))
{
}

SearchOutcome SearchEngine::run(EngineState& state, const SearchRequest& settings,
                                RandomSource& random, SearchObserver& observer)
{
    // The table may have been re-read in place since the last search.
    m_scorer.invalidate();
    m_batched = m_batch.prepare(state);
    SearchOutcome outcome;
    try {
        if (run_all(state, settings, random, observer)) {
            observer.search_finished(SearchView(state));
            return outcome;
        }
        outcome.end = SearchEnd::Declined;
    } catch (const Fault& fault) {
        outcome.end = SearchEnd::Faulted;
        outcome.fault = fault;
    }
    observer.search_failed(SearchView(state), outcome);
    return outcome;
}

bool SearchEngine::run_all(EngineState& state, const SearchRequest& settings,
                           RandomSource& random, SearchObserver& observer)
{
    const bool manual = drawn_family(settings.family);
    if (manual)
        stretch_manual_boxes(state, settings, observer);
    observer.search_started(to_single(settings.runs.value()));
    m_start = m_clock();
    const std::int16_t runs = to_int16(settings.runs.value());

    const GenerateControls controls{settings.family, settings.constrain, settings.scale_left,
                                    settings.scale_width};
    const bool scale_to_plot = needs_plot_scaling(controls);

    for (std::int32_t run = 1; run <= runs; ++run) {
        for (int i = 1; i <= 6; ++i) {
            state.BestModelX[i] = kUnsetVertex;
            state.BestModelY[i] = kUnsetVertex;
        }
        observer.run_started(static_cast<std::int16_t>(run), to_single(settings.trials.value()));
        state.BestSqDist = kRunBestStart;
        const std::int32_t trials = to_int32(settings.trials.value());

        const std::int64_t batch =
            std::clamp(kBatchPoints / std::max(state.CropCount, 1), kFewestBatchTrials,
                       kMostBatchTrials);
        Next next = Next::Go;
        // After a candidate that cannot be taken ahead, a few go the plain way before the next
        // try, more the more often it fails: a crop where every candidate faults stays cheap.
        std::int64_t plain_left = 0, plain_after_failure = 1;
        for (std::int64_t trial = 1; trial <= trials && next == Next::Go;) {
            std::int64_t ahead = std::min<std::int64_t>(batch, trials - trial + 1);
            // Trial 999 ends a batch, so that the estimate made there times 999 trials.
            if (state.TrialCount < kEstimateTrial)
                ahead = std::min<std::int64_t>(ahead, kEstimateTrial - state.TrialCount);
            int ready = 0;
            if (m_batched && plain_left == 0) {
                ready = m_batch.draw(state, controls, scale_to_plot, random,
                                     static_cast<int>(ahead), m_threads);
                plain_left = ready == 0 ? plain_after_failure : 0;
                plain_after_failure = ready == 0 ? std::min<std::int64_t>(
                                                       2 * plain_after_failure, kMostBatchTrials)
                                                 : 1;
            }
            if (ready == 0) {
                next = plain_trial(state, settings, controls, scale_to_plot, random, observer,
                                   trial);
                plain_left = std::max<std::int64_t>(plain_left - 1, 0);
                ++trial;
            } else {
                const Taken taken = take_ready(state, settings, random, observer, trial, ready);
                next = taken.next;
                trial += taken.trials;
            }
        }
        if (next == Next::Decline)
            return false;

        observer.run_finished(SearchView(state), static_cast<std::int16_t>(run));
        if (state.BestSqDist < state.BestOfBestSqDist) {
            state.BestOfBestSqDist = state.BestSqDist;
            for (int i = 1; i <= 6; ++i) {
                state.BestOfBestX[i] = state.BestModelX[i];
                state.BestOfBestY[i] = state.BestModelY[i];
            }
            state.BestOfBestR = state.BestModelR;
        }
        if (settings.constrain == 0)
            widen_constraint_boxes(state);
        const ResultReport report = result_report(reported_best(state), settings.family);
        observer.report_written(report);
        if (report.fault)
            throw *report.fault;
        m_scale.width =
            scale_extent(static_cast<float>(state.TrialCount), "convergence plot width");
        observer.convergence_redrawn(SearchView(state), m_scale);
        if (observer.stop_requested())
            break;
    }
    return true;
}

SearchEngine::Next SearchEngine::plain_trial(EngineState& state, const SearchRequest& settings,
                                             const GenerateControls& controls,
                                             bool scale_to_plot, RandomSource& random,
                                             SearchObserver& observer, std::int64_t trial)
{
    count_trial(state);
    // Strict: a tie never replaces the earlier candidate.
    if (score_candidate(state, controls, scale_to_plot, random) &&
        state.SqDist < state.BestSqDist)
        take_best(state, observer);
    return after_trial(state, settings, observer, trial);
}

// The trials drawn ahead, taken one by one as the plain way takes them. The model values are
// set up only where something reads them: for R of a new best, and after the last trial taken.
// R is read at the end of a run, so of the new bests whose R cannot fault only the last one's
// is formed, once the batch is taken.
SearchEngine::Taken SearchEngine::take_ready(EngineState& state, const SearchRequest& settings,
                                             RandomSource& random, SearchObserver& observer,
                                             std::int64_t first_trial, int ready)
{
    int taken = -1;
    int r_due = -1;  // the new best whose R is still to be formed
    Next next = Next::Go;
    const auto settle = [&] {
        if (r_due >= 0) {
            m_batch.restore_model(state, r_due);
            GetR(state);
        }
        m_batch.restore_model(state, taken);
        random = m_batch.source_after(random, taken);
    };
    try {
        for (int j = 0; j < ready && next == Next::Go; ++j) {
            count_trial(state);
            taken = j;
            state.ModelX = m_batch.x(j);
            state.ModelY = m_batch.y(j);
            state.SqDist = m_batch.sum(j);
            if (j == 0)
                std::copy(m_batch.observed().begin(), m_batch.observed().end(),
                          state.CropObserved.begin() + 1);
            if (state.SqDist < state.BestSqDist) {
                const bool later = m_batch.r_cannot_fault(state.SqDist);
                r_due = later ? j : -1;
                if (!later)
                    m_batch.restore_model(state, j);
                take_best(state, observer, !later);
            }
            next = after_trial(state, settings, observer, first_trial + j);
        }
    } catch (const Fault&) {
        settle();
        throw;
    }
    settle();
    return {next, taken + 1};
}

SearchEngine::Next SearchEngine::after_trial(EngineState& state, const SearchRequest& settings,
                                             SearchObserver& observer, std::int64_t trial)
{
    observer.candidate_evaluated(SearchView(state), trial);
    if (state.TrialCount == kEstimateTrial) {
        const auto heavy = estimate(state, settings);
        if (heavy && !observer.confirm_heavy_task(*heavy))
            return Next::Decline;
    }
    return observer.stop_requested() ? Next::StopRun : Next::Go;
}

void SearchEngine::take_best(EngineState& state, SearchObserver& observer, bool with_r)
{
    state.BestSqDist = state.SqDist;
    if (with_r)
        GetR(state);
    for (int i = 1; i <= 6; ++i) {
        state.BestModelX[i] = state.ModelX[i];
        state.BestModelY[i] = state.ModelY[i];
    }
    if (state.SqDist < state.BestOfBestSqDist)
        add_convergence_point(state, observer);
}

bool SearchEngine::score_candidate(EngineState& state, const GenerateControls& controls,
                                   bool scale_to_plot, RandomSource& random)
{
    try {
        GenerateModel(state, controls, random);
        if (scale_to_plot)
            scale_model_to_plot(state, controls.scale_left, controls.scale_width);
        m_scorer.fit_and_score(state);
        return true;
    } catch (const Fault& fault) {
        if (!fault.is_zero_divisor())
            throw;
        return false;
    }
}

void SearchEngine::add_convergence_point(EngineState& state, SearchObserver& observer)
{
    // The trace holds points 1..500; the count never points past it.
    if (state.ConvergenceCount >= kConvergenceSlots)
        throw Fault(FaultKind::IndexOutOfRange, "ConvergenceTrace");
    ++state.ConvergenceCount;
    const auto trials = static_cast<float>(state.TrialCount);
    state.ConvergenceTrace[static_cast<std::size_t>(state.ConvergenceCount)] = {trials,
                                                                                state.BestSqDist};
    m_scale.width = scale_extent(trials, "convergence plot width");
    if (state.ConvergenceCount > 4) {
        const float drop = single::sub(state.BestSqDist, m_scale.top, "convergence plot");
        m_scale.height =
            scale_extent(to_single(static_cast<double>(drop) * 1.2), "convergence plot height");
    } else {
        m_scale.top = state.BestSqDist;
    }
    observer.convergence_point_added(SearchView(state), m_scale);
}

std::optional<TimeEstimate> SearchEngine::estimate(const EngineState& state,
                                                   const SearchRequest& settings) const
{
    const double elapsed = m_clock() - m_start;
    const double work = settings.runs.value() * settings.trials.value();
    const float seconds = to_single(elapsed * work / static_cast<double>(state.TrialCount));
    if (!(seconds > kEstimateThreshold))
        return std::nullopt;
    return time_estimate(seconds);
}

std::string search_fault_hint(const Fault& fault, const EngineState& state,
                              const SearchRequest& settings, const CountNames& names)
{
    const std::string& where = fault.where();
    if (fault.kind() == FaultKind::Overflow) {
        try {
            to_int16(to_single(settings.runs.value()));
        } catch (const Fault&) {
            return names.runs + " lies outside -32768..32767";
        }
        try {
            to_int32(to_single(settings.trials.value()));
        } catch (const Fault&) {
            return names.trials + " lies outside the 32-bit range";
        }
    }
    if (where == "convergence plot width" && state.TrialCount == 0)
        return "no trial made since the reset: " + names.trials + " reads as no trial";
    if (where == "report" && settings.family == ModelFamily::AsymmetricEvent)
        return state.BestOfBestSqDist == kUnsetBestOfBest
                   ? "no model found yet, so the symmetry index divides by X4 - X2 = 0"
                   : "the symmetry index divides by X4 - X2 = 0";
    if (where == "GetR" && state.CropCount == 0)
        return "the crop window holds no data point";
    if (where == "ConvergenceTrace")
        return "more than 500 new overall bests since the reset";
    if (where == "TrialCount")
        return "more than 2147483647 trials since the reset";
    return {};
}

CropSearch search_crop(const FitCrop& crop, std::span<const SearchRequest> requests,
                       RandomSource& random, SearchObserver& observer)
{
    EngineState state = crop_state(crop);
    forget_best_of_best(state);
    state.TrialCount = 0;
    state.ConvergenceCount = 0;
    SearchEngine engine;
    engine.set_threads(1);
    for (const SearchRequest& request : requests)
        if (engine.run(state, request, random, observer).end != SearchEnd::Completed)
            return {};
    if (state.BestOfBestSqDist == kUnsetBestOfBest)
        return {};
    return {true, {state.BestOfBestX, state.BestOfBestY}, state.BestOfBestSqDist,
            constraint_boxes(state)};
}

ReportedModel reported_best(const EngineState& state)
{
    return {{state.BestOfBestX, state.BestOfBestY}, state.BestOfBestR, state.CropOrigin,
            state.DataXForm, state.NodeCount};
}

std::string search_stop_line(std::string_view search, const SearchOutcome& outcome,
                             const EngineState& state, const SearchRequest& settings,
                             const CountNames& names)
{
    if (outcome.end == SearchEnd::Completed)
        return {};
    std::string line = std::string(search) + " stopped";
    if (outcome.fault) {
        line += ": ";
        line += outcome.fault->what();
        const std::string hint = search_fault_hint(*outcome.fault, state, settings, names);
        if (!hint.empty())
            line += " (" + hint + ")";
    }
    return line;
}

}  // namespace tolvenar
