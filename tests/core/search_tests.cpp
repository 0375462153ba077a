// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/search.h"

#include "core/model/boxes.h"
#include "core/runtime/numbers.h"
#include "model_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tolvenar;
using tolvenar::testing::set_model;
using tolvenar::testing::state_with_points;

namespace {

// Records what the window would be told.
class Recorder : public SearchObserver {
public:
    void manual_box_stretched(const EngineState&) override { ++stretched; }
    void search_started(float runs_maximum) override { runs_max = runs_maximum; }
    void run_started(std::int16_t, float trials_maximum) override
    {
        ++runs;
        trials_max = trials_maximum;
    }
    void convergence_point_added(const EngineState&, const ConvergenceScale& scale) override
    {
        scales.push_back(scale);
    }
    void candidate_evaluated(const EngineState&, std::int64_t) override { ++candidates; }
    bool confirm_heavy_task(const TimeEstimate& estimate) override
    {
        estimates.push_back(estimate);
        return answer;
    }
    void run_finished(const EngineState&, std::int16_t) override { ++finished_runs; }
    void report_written(const ResultReport& report) override
    {
        labels.apply(report.writes);
        last_report = report;
    }
    void convergence_redrawn(const EngineState&, const ConvergenceScale& scale) override
    {
        redraw_width = scale.width;
    }
    void search_finished(const EngineState&) override { ++finished; }
    void search_failed(const EngineState&, const SearchOutcome&) override { ++failed; }

    bool answer = true;
    int stretched = 0;
    int runs = 0;
    int candidates = 0;
    int finished_runs = 0;
    int finished = 0;
    int failed = 0;
    float runs_max = 0.0f;
    float trials_max = 0.0f;
    float redraw_width = 0.0f;
    std::vector<ConvergenceScale> scales;
    std::vector<TimeEstimate> estimates;
    ResultLabels labels;
    ResultReport last_report;
};

// A step from 1 to 3 over twenty points, after an import or a reset.
EngineState step_series()
{
    std::vector<double> xs;
    std::vector<double> ys;
    for (int i = 0; i < 20; ++i) {
        xs.push_back(i);
        ys.push_back(i < 8 ? 1.0 : (i < 12 ? 1.0 + 0.5 * (i - 7) : 3.0));
    }
    EngineState state = state_with_points(xs, ys);
    forget_best_of_best(state);
    clear_manual_boxes(state);
    state.NodeCount = 4;
    return state;
}

SearchSettings ramp(std::string runs, std::string trials)
{
    return {ModelFamily::SimpleRamp, 0, std::move(runs), std::move(trials), 0.0f, 19.0f};
}

// The candidate stays put: no family and "Constrain" ticked (only the reorder pass runs).
SearchSettings fixed_candidate(std::string runs, std::string trials)
{
    return {std::nullopt, 1, std::move(runs), std::move(trials), 0.0f, 19.0f};
}

// SqDist of the fixed candidate (vertices 0, 9.5, 19 at level 2) over the step series.
float fixed_candidate_score(EngineState state)
{
    set_model(state, {0, 9.5f, 19, 19, 19, 19}, {2, 2, 2, 2, 2, 2});
    CropScorer().fit_and_score(state);
    return state.SqDist;
}

TEST(Search, RunsEveryTrialAndReportsTheBestOfBest)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    const SearchOutcome outcome = engine.run(state, ramp("3", "200"), random, recorder);
    EXPECT_EQ(outcome.end, SearchEnd::Completed);
    EXPECT_EQ(recorder.finished, 1);
    EXPECT_EQ(recorder.failed, 0);
    EXPECT_EQ(recorder.runs, 3);
    EXPECT_EQ(recorder.finished_runs, 3);
    EXPECT_EQ(recorder.candidates, 600);
    EXPECT_EQ(recorder.runs_max, 3.0f);
    EXPECT_EQ(recorder.trials_max, 200.0f);
    EXPECT_EQ(state.TrialCount, 600);
    EXPECT_EQ(recorder.redraw_width, 600.0f);
    EXPECT_LT(state.BestOfBestSqDist, 2.0f);
    EXPECT_GT(state.BestOfBestR, 0.9f);
    EXPECT_EQ(state.BestOfBestX[1], 0.0f);
    EXPECT_EQ(state.BestOfBestX[4], 19.0f);
    // The envelope holds every run's best; vertex 1 and 4 boxes have zero width.
    EXPECT_EQ(state.ConXMin[1], 0.0f);
    EXPECT_EQ(state.ConXMax[1], 0.0f);
    EXPECT_LE(state.ConXMin[2], state.BestOfBestX[2]);
    EXPECT_GE(state.ConXMax[2], state.BestOfBestX[2]);
    EXPECT_EQ(recorder.labels.x[1].caption, "X1 = 0");
    EXPECT_TRUE(recorder.labels.r.enabled);
    EXPECT_EQ(static_cast<std::size_t>(state.ConvergenceCount), recorder.scales.size());
    // Convergence points fall strictly and lie at their trial.
    for (int i = 2; i <= state.ConvergenceCount; ++i) {
        EXPECT_LT(state.ConvergenceTrace[i].y, state.ConvergenceTrace[i - 1].y);
        EXPECT_GT(state.ConvergenceTrace[i].x, state.ConvergenceTrace[i - 1].x);
    }
}

TEST(Search, ATieNeverReplacesAndAnEqualRunIsNotPromoted)
{
    EngineState state = step_series();
    const float score = fixed_candidate_score(state);
    set_model(state, {0, 9.5f, 19, 19, 19, 19}, {2, 2, 2, 2, 2, 2});
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    engine.run(state, fixed_candidate("2", "5"), random, recorder);
    // Only the first trial of the first run is a new overall best.
    EXPECT_EQ(state.ConvergenceCount, 1);
    EXPECT_EQ(state.ConvergenceTrace[1].x, 1.0f);
    EXPECT_EQ(state.BestOfBestSqDist, score);

    // A best of best that equals the run's best stays as it was.
    state.BestOfBestX[2] = 123.0f;
    engine.run(state, fixed_candidate("1", "5"), random, recorder);
    EXPECT_EQ(state.BestOfBestX[2], 123.0f);
    EXPECT_EQ(state.ConvergenceCount, 1);
}

TEST(Search, SentinelsKeepHugeDistancesOut)
{
    // Distances of 1e7: a run's best, but never promoted over the reset value 999999.
    EngineState state = step_series();
    for (int i = 1; i <= 20; ++i)
        state.data.DataY[static_cast<std::size_t>(i)] = Cell::of_number(i == 1 ? 3164.0 : 2.0);
    set_model(state, {0, 9.5f, 19, 19, 19, 19}, {2, 2, 2, 2, 2, 2});
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    engine.run(state, fixed_candidate("1", "3"), random, recorder);
    EXPECT_GE(state.BestSqDist, 999999.0f);
    EXPECT_LT(state.BestSqDist, 1e8f);
    EXPECT_EQ(state.BestModelX[2], 9.5f);
    EXPECT_EQ(state.BestOfBestX[2], kUnsetVertex);
    EXPECT_EQ(state.BestOfBestSqDist, kUnsetBestOfBest);
    EXPECT_EQ(state.ConvergenceCount, 0);

    // Distances of 1e8 or more never make a run's best.
    state.data.DataY[1] = Cell::of_number(10002.0);
    engine.run(state, fixed_candidate("1", "3"), random, recorder);
    EXPECT_EQ(state.BestSqDist, kRunBestStart);
    EXPECT_EQ(state.BestModelX[2], kUnsetVertex);
}

TEST(Search, GreyedOrTickedConstrainGathersNoEnvelope)
{
    for (std::int16_t constrain : {1, 2}) {
        EngineState state = step_series();
        set_model(state, {0, 9.5f, 19, 19, 19, 19}, {2, 2, 2, 2, 2, 2});
        RandomSource random;
        Recorder recorder;
        SearchEngine engine;
        SearchSettings settings = fixed_candidate("2", "3");
        settings.constrain = constrain;
        engine.run(state, settings, random, recorder);
        EXPECT_EQ(state.ConXMin[2], kEmptyLowerLimit);
        EXPECT_EQ(state.ConYMax[2], kEmptyUpperLimit);
    }
}

TEST(Search, ARunWithoutTrialsWidensTheBoxesToTheEmptyModel)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    const SearchOutcome outcome = engine.run(state, ramp("1", "0"), random, recorder);
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(state.ConXMin[k], kUnsetVertex);
        EXPECT_EQ(state.ConXMax[k], kUnsetVertex);
    }
    EXPECT_EQ(state.BestSqDist, kRunBestStart);
    // No trial since the reset: the convergence plot cannot take a width of 0.
    EXPECT_EQ(outcome.end, SearchEnd::Faulted);
    ASSERT_TRUE(outcome.fault);
    EXPECT_EQ(outcome.fault->kind(), FaultKind::InvalidPropertyValue);
    EXPECT_EQ(recorder.failed, 1);
    EXPECT_EQ(recorder.labels.x[1].caption, "X1 = -9999");
}

TEST(Search, NoRunsFinishAtOnce)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    EXPECT_EQ(engine.run(state, ramp("0", "1000"), random, recorder).end, SearchEnd::Completed);
    EXPECT_EQ(engine.run(state, ramp("abc", "1000"), random, recorder).end, SearchEnd::Completed);
    EXPECT_EQ(recorder.finished, 2);
    EXPECT_EQ(state.TrialCount, 0);
    EXPECT_EQ(random.draws(), 0u);
}

TEST(Search, CountsOutsideTheirRangeFault)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    EXPECT_EQ(engine.run(state, ramp("40000", "1"), random, recorder).fault->kind(),
              FaultKind::Overflow);
    EXPECT_EQ(engine.run(state, ramp("1", "3e9"), random, recorder).fault->kind(),
              FaultKind::Overflow);
    state.TrialCount = 2147483647;
    EXPECT_EQ(engine.run(state, ramp("1", "1"), random, recorder).fault->kind(),
              FaultKind::Overflow);
    EXPECT_EQ(state.TrialCount, 2147483647);
    EXPECT_EQ(recorder.failed, 3);
}

TEST(Search, TheFiveHundredAndFirstConvergencePointFaults)
{
    EngineState state = step_series();
    state.ConvergenceCount = 500;
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    const SearchOutcome outcome = engine.run(state, ramp("1", "10"), random, recorder);
    ASSERT_EQ(outcome.end, SearchEnd::Faulted);
    EXPECT_EQ(outcome.fault->kind(), FaultKind::IndexOutOfRange);
    EXPECT_EQ(state.ConvergenceCount, 500);
    EXPECT_EQ(state.TrialCount, 1);
    EXPECT_EQ(recorder.failed, 1);
}

TEST(Search, ConvergenceScaleTakesTheFourthPointAsTop)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    engine.run(state, ramp("1", "2000"), random, recorder);
    ASSERT_GE(state.ConvergenceCount, 5);
    const float top = state.ConvergenceTrace[4].y;
    EXPECT_EQ(recorder.scales[3].top, top);
    const ConvergenceScale& fifth = recorder.scales[4];
    EXPECT_EQ(fifth.top, top);
    EXPECT_EQ(fifth.width, state.ConvergenceTrace[5].x);
    EXPECT_EQ(fifth.height,
              static_cast<float>(static_cast<double>(state.ConvergenceTrace[5].y - top) * 1.2));
}

// A clock that reads `start` at the start of the search and `later` afterwards.
SearchEngine::Clock two_readings(double start, double later)
{
    auto readings = std::make_shared<int>(0);
    return [=] { return (*readings)++ == 0 ? start : later; };
}

TEST(Search, TheTimeEstimateAsksOnTrial999)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    recorder.answer = false;
    // 100 s for 999 of 10 x 1000 trials: 1001 s to go, 00:16:41.
    SearchEngine engine(two_readings(5000.0, 5100.0));
    const SearchOutcome outcome = engine.run(state, ramp("10", "1000"), random, recorder);
    ASSERT_EQ(recorder.estimates.size(), 1u);
    const TimeEstimate& estimate = recorder.estimates.front();
    EXPECT_EQ(estimate.whole_seconds, 1001);
    EXPECT_EQ(estimate.hours, "00");
    EXPECT_EQ(estimate.minutes, "16");
    EXPECT_EQ(estimate.seconds_text, "41");
    EXPECT_EQ(outcome.end, SearchEnd::Declined);
    EXPECT_EQ(recorder.failed, 1);
    EXPECT_EQ(state.TrialCount, 999);
}

TEST(Search, TheTimeEstimateStaysQuietBelowTwoMinutesAndOnlyAtTrial999)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    recorder.answer = false;
    // 11.9 s for 999 of 10 000 trials: 119.1 s.
    SearchEngine quick(two_readings(86395.0, 86406.9));
    EXPECT_EQ(quick.run(state, ramp("10", "1000"), random, recorder).end, SearchEnd::Completed);
    EXPECT_TRUE(recorder.estimates.empty());

    state.TrialCount = 1000;
    SearchEngine slow(two_readings(0.0, 1e6));
    EXPECT_EQ(slow.run(state, ramp("1", "10"), random, recorder).end, SearchEnd::Completed);
    EXPECT_TRUE(recorder.estimates.empty());
}

TEST(Search, ASearchPassingMidnightIsEstimatedFromElapsedTime)
{
    // The monotonic clock knows no midnight: 23:59:50 to 00:01:30 is 100 s.
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine(two_readings(86390.0, 86490.0));
    engine.run(state, ramp("10", "1000"), random, recorder);
    ASSERT_EQ(recorder.estimates.size(), 1u);
    EXPECT_EQ(recorder.estimates.front().whole_seconds, 1001);
    EXPECT_EQ(recorder.finished, 1);
}

TEST(TimeEstimate, ShowsTwoDigitsPerField)
{
    const TimeEstimate a = time_estimate_fields(3725.5f);  // half to even: 3726 s
    EXPECT_EQ(a.hours + ":" + a.minutes + ":" + a.seconds_text, "01:02:06");
    const TimeEstimate b = time_estimate_fields(100.0f * 3600.0f + 61.0f);
    EXPECT_EQ(b.hours + ":" + b.minutes + ":" + b.seconds_text, "00:01:01");
}

TEST(Search, AFaultKeepsTheResultsAndTellsTheObserver)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    engine.run(state, ramp("1", "100"), random, recorder);
    const EngineState before = state;
    state.data.texts.push_back("n/a");
    state.data.DataY[5] = Cell{CellKind::Text, 0, 0.0};
    const SearchOutcome outcome = engine.run(state, ramp("2", "100"), random, recorder);
    ASSERT_EQ(outcome.end, SearchEnd::Faulted);
    EXPECT_EQ(outcome.fault->kind(), FaultKind::TypeMismatch);
    EXPECT_EQ(recorder.failed, 1);
    EXPECT_EQ(state.TrialCount, 101);
    EXPECT_EQ(state.BestOfBestX, before.BestOfBestX);
    EXPECT_EQ(state.BestOfBestSqDist, before.BestOfBestSqDist);
    EXPECT_EQ(state.ConXMin, before.ConXMin);
    EXPECT_EQ(state.ConvergenceCount, before.ConvergenceCount);
}

TEST(Search, TheSymmetryIndexOfAnEmptyBestOfBestFaultsAfterTheFirstReportSteps)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    SearchSettings settings = ramp("1", "0");
    settings.family = ModelFamily::AsymmetricEvent;
    const SearchOutcome outcome = engine.run(state, settings, random, recorder);
    ASSERT_EQ(outcome.end, SearchEnd::Faulted);
    EXPECT_EQ(outcome.fault->kind(), FaultKind::Overflow);  // (-9999 - -9999) / 0
    EXPECT_EQ(recorder.last_report.writes.size(), 13u);
    EXPECT_EQ(recorder.labels.r.caption, "R = 0");
    EXPECT_EQ(recorder.labels.measure.caption, "Symmetry index = ");
    EXPECT_FALSE(recorder.labels.measure.enabled);
}

TEST(Search, TheLastManualBoxReachesTheRightEdge)
{
    EngineState state = step_series();
    state.NodeCount = 2;
    state.ManXMin[1] = 0.0f;
    state.ManXMax[1] = 5.0f;
    state.ManYMin[1] = 0.5f;
    state.ManYMax[1] = 1.5f;
    state.ManXMin[2] = 12.0f;
    state.ManXMax[2] = 15.0f;
    state.ManYMin[2] = 2.5f;
    state.ManYMax[2] = 3.5f;
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    SearchSettings settings = ramp("1", "50");
    settings.family = ModelFamily::ManualConstraint;
    EXPECT_EQ(engine.run(state, settings, random, recorder).end, SearchEnd::Completed);
    EXPECT_EQ(recorder.stretched, 1);
    EXPECT_EQ(state.ManXMax[2], 19.0f);
    for (int k = 3; k <= 6; ++k) {
        EXPECT_EQ(state.ManXMin[k], 12.0f);
        EXPECT_EQ(state.ManXMax[k], 19.0f);
        EXPECT_EQ(state.ManYMax[k], 3.5f);
    }
    EXPECT_EQ(state.BestOfBestX[2], 19.0f);
    EXPECT_FALSE(recorder.labels.x[3].enabled);
    EXPECT_EQ(recorder.labels.x[3].caption, "X3 = ");

    // A box already reaching the edge is not widened; the copies are made all the same.
    engine.run(state, settings, random, recorder);
    EXPECT_EQ(recorder.stretched, 1);
}

// Pins the random stream and the arithmetic end to end: any change shows here.
TEST(Search, GoldenSimpleRamp)
{
    EngineState state = step_series();
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
    ASSERT_EQ(engine.run(state, ramp("2", "50"), random, recorder).end, SearchEnd::Completed);
    std::string lines;
    for (int i = 1; i <= 6; ++i)
        lines += recorder.labels.x[i].caption + " | " + recorder.labels.y[i].caption + "\n";
    lines += recorder.labels.r.caption + "\n" + recorder.labels.measure.caption + "\n";
    EXPECT_EQ(lines,
              "X1 = 0 | Y1 = 1.09\n"
              "X2 = 8.25 | Y2 = 1.09\n"
              "X3 = 8.64 | Y3 = 2.82\n"
              "X4 = 19 | Y4 = 2.82\n"
              "X5 = | Y5 =\n"
              "X6 = | Y6 =\n"
              "R = 0.963\n"
              "Duration of change = 0.39\n");
    EXPECT_EQ(random.draws(), 500u);
    EXPECT_EQ(state.ConvergenceCount, 8);
    EXPECT_EQ(number_text(state.BestOfBestSqDist), "1.300105");
    EXPECT_EQ(number_text(state.BestOfBestR), "0.9629924");
}

}  // namespace
