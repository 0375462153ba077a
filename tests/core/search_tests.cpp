// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/search.h"

#include "core/model/engine_state.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <memory>

using namespace tolvenar;

namespace {

// Records what the window would be told.
struct Recorder : SearchObserver {
    void manual_box_stretched(const SearchView&) override { ++stretched; }
    void search_started(float runs_maximum) override { runs_max = runs_maximum; }
    void run_started(std::int16_t, float trials_maximum) override { trials_max = trials_maximum; }
    bool confirm_heavy_task(const TimeEstimate& estimate) override
    {
        asked = estimate.whole_seconds;
        return answer;
    }
    void search_finished(const SearchView&) override { ++endings; }
    void search_failed(const SearchView&, const SearchOutcome&) override { ++endings; }

    bool answer = true;
    int stretched = 0, endings = 0;
    float runs_max = -1.0f, trials_max = -1.0f;  // -1: not heard
    std::int32_t asked = -1;                     // the last estimate's whole seconds
};

// A step from 1 to 3 over x = 0..19, after an import and a reset, searched by one engine.
class Search : public ::testing::Test {
protected:
    Search()
    {
        state = test::state_over(
            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
            {1, 1, 1, 1, 1, 1, 1, 1, 1.5, 2, 2.5, 3, 3, 3, 3, 3, 3, 3, 3, 3});
        forget_best_of_best(state);
        state.NodeCount = 4;
    }
    static SearchRequest ramp(FieldNumber runs, FieldNumber trials)
    {
        return {ModelFamily::SimpleRamp, 0, runs, trials, 0.0f, 19.0f};
    }
    SearchOutcome run(const SearchRequest& s) { return engine.run(state, s, random, recorder); }
    std::optional<FaultKind> fault_of_run(const SearchRequest& s)
    {
        recorder.endings = 0;
        const SearchOutcome outcome = run(s);
        EXPECT_EQ(outcome.end, outcome.fault ? SearchEnd::Faulted : SearchEnd::Completed);
        EXPECT_EQ(recorder.endings, 1);  // the window hears one ending
        return outcome.fault ? std::optional(outcome.fault->kind()) : std::nullopt;
    }

    EngineState state;
    RandomSource random;
    Recorder recorder;
    SearchEngine engine;
};

// Pins the random stream and the arithmetic end to end: any change shows here.
TEST_F(Search, GoldenSimpleRamp)
{
    ASSERT_EQ(fault_of_run(ramp(2, 50)), std::nullopt);
    EXPECT_EQ(number_text(state.BestOfBestX[3]) + " " + number_text(state.BestOfBestR) + " " +
                  number_text(state.BestOfBestSqDist),
              "8.642357 0.9629924 1.300105");
    EXPECT_EQ(random.draws(), 500u);
    EXPECT_EQ(state.ConXMax[1], 0.0f);  // the envelope holds every run's best
    // The plot's top is the fourth new overall best, its height 1.2 times the drop to the last.
    ASSERT_EQ(state.ConvergenceCount, 8);
    const ConvergenceScale& scale = engine.convergence_scale();
    EXPECT_EQ(scale.top, state.ConvergenceTrace[4].y);
    EXPECT_EQ(scale.height, static_cast<float>((state.ConvergenceTrace[8].y - scale.top) * 1.2));
    EXPECT_EQ(scale.width, 100.0f);
}

TEST_F(Search, ATieNeverReplacesAndAnEqualRunIsNotPromoted)
{
    test::set_model(state, {0, 9.5f, 19, 19, 19, 19}, {2, 2, 2, 2, 2, 2});
    SearchRequest settings{std::nullopt, 1, 2, 5, 0.0f, 19.0f};  // no family, ticked: it stays
    run(settings);
    EXPECT_EQ(state.ConvergenceCount, 1);  // only the first trial is a new overall best
    EXPECT_EQ(state.ConvergenceTrace[1].x, 1.0f);

    state.BestOfBestX[2] = 123.0f;  // a best of best equal to the run's best stays
    settings.constrain = 2;         // greyed: no envelope gathered, as when ticked
    run(settings);
    EXPECT_EQ(state.BestOfBestX[2], 123.0f);
    EXPECT_EQ(state.ConXMin[2], kEmptyLowerLimit);
}

// Each count is read where the window reads it: the runs before the first run (the progress
// bar's maximum as a single, then the loop's count in 16 bits), the trials at the start of
// every run (single, then 32 bits). A fault at a read ends the search there.
TEST_F(Search, CountsFaultWhereTheSearchReadsThem)
{
    struct Row {  // TrialCount before and after; -1 for a maximum not heard
        FieldNumber runs, trials; std::int32_t before, after;
        std::optional<FaultKind> fault;
        float runs_max, trials_max;
    };
    const FieldNumber huge = FieldNumber::of_text(" 1e400");
    const auto overflow = FaultKind::Overflow;
    const std::int32_t most = 2147483647;
    for (const Row& r : std::vector<Row>{{FieldNumber::of_text("x"), huge, 0, 0, {}, 0.0f, -1.0f},
                                         {0.4, 5, 0, 0, {}, 0.4f, -1.0f},
                                         {1.5, 2.5, 0, 4, {}, 1.5f, 2.5f},
                                         {huge, 1, 0, 0, overflow, -1.0f, -1.0f},
                                         {1e39, 1, 0, 0, overflow, -1.0f, -1.0f},
                                         {40000, 1, 0, 0, overflow, 40000.0f, -1.0f},
                                         {1, huge, 0, 0, overflow, 1.0f, -1.0f},
                                         {1, 3e9, 0, 0, overflow, 1.0f, 3e9f},
                                         {1, 1, most, most, overflow, 1.0f, 1.0f},
                                         // No trial since the reset: a plot width of 0.
                                         {32767.4, 0, 0, 0, FaultKind::InvalidPropertyValue,
                                          32767.4f, 0.0f}}) {
        recorder = Recorder();
        state.TrialCount = r.before;
        EXPECT_EQ(fault_of_run(ramp(r.runs, r.trials)), r.fault) << r.runs_max;
        EXPECT_EQ(recorder.runs_max, r.runs_max);
        EXPECT_EQ(recorder.trials_max, r.trials_max) << r.runs_max;
        EXPECT_EQ(state.TrialCount, r.after) << r.runs_max;
    }
}

TEST_F(Search, AFaultKeepsTheResults)
{
    state.ConvergenceCount = 500;  // the trace holds 500 points
    EXPECT_EQ(fault_of_run(ramp(1, 10)), FaultKind::IndexOutOfRange);
    EXPECT_EQ(state.ConvergenceCount, 500);

    state.ConvergenceCount = 0;
    run(ramp(1, 100));
    const EngineState before = state;
    state.data.texts.push_back("n/a");
    state.data.DataY[5] = Cell{CellKind::Text, 2, 0.0};  // the table re-read in place
    EXPECT_EQ(fault_of_run(ramp(2, 100)), FaultKind::TypeMismatch);
    EXPECT_EQ(state.TrialCount, 102);
    EXPECT_EQ(state.BestOfBestX, before.BestOfBestX);
}

// On trial 999 since the reset the search asks when elapsed * runs * trials / 999 exceeds
// 120 s; a No ends it there.
TEST_F(Search, TheTimeEstimateAsksAboveTwoMinutesOnTrial999)
{
    struct Row {  // the clock's two readings; the estimate asked about, -1 for none
        double start, later; FieldNumber runs, trials;
        std::int32_t trials_before, seconds;
        bool yes = false;
    };
    for (const Row& r : std::vector<Row>{
             {5000.0, 5100.0, 10, 1000, 0, 1001},
             {0.0, 120.0, 1, 999, 0, -1},  // exactly 120 s
             {0.0, 120.01, 1, 999, 0, 120}, {0.0, 1e6, 1, 10, 989, 10010},
             {0.0, 11.7, 10.5, 1000, 0, 123},  // the half run counts: 10 runs make 117.1 s
             {0.0, 1e6, 1, 10, 1000, -1},  // past trial 999
             {0.0, 1000.0, 1, 1000, 0, 1001, true}}) {
        recorder = Recorder();
        recorder.answer = r.yes;
        state.TrialCount = r.trials_before;
        engine = SearchEngine([readings = std::make_shared<int>(0), r] {
            return (*readings)++ == 0 ? r.start : r.later;
        });
        const SearchEnd end = run(ramp(r.runs, r.trials)).end;
        EXPECT_EQ(recorder.asked, r.seconds) << r.later;
        const bool declined = r.seconds >= 0 && !r.yes;
        EXPECT_EQ(end, declined ? SearchEnd::Declined : SearchEnd::Completed) << r.later;
        if (declined)
            EXPECT_EQ(state.TrialCount, 999);
    }
}

TEST(TimeEstimate, RoundsToWholeSecondsAndShowsEveryDigitOfTheHours)
{
    for (const auto& [seconds, time] : std::vector<std::pair<float, std::string>>{
             {0.4f, "00:00:00"}, {3725.5f, "01:02:06"}, {3726.5f, "01:02:06"},
             {3599.0f, "00:59:59"}, {36610.0f, "10:10:10"}, {359999.0f, "99:59:59"},
             {360061.0f, "100:01:01"}, {400400.0f, "111:13:20"}})
        EXPECT_EQ(heavy_task_prompt(time_estimate(seconds).whole_seconds),
                  "Estimated processing time: " + time + " (hh:mm:ss). Do you continue?");
    EXPECT_EQ(test::fault_of([] { time_estimate(3e9f); }), FaultKind::Overflow);
}

TEST_F(Search, TheLastManualBoxReachesTheRightEdge)
{
    state.NodeCount = 2;
    state.ManXMin = {0, 0.0f, 12.0f}, state.ManXMax = {0, 5.0f, 15.0f};
    state.ManYMin = {0, 0.5f, 2.5f}, state.ManYMax = {0, 1.5f, 3.5f};
    const SearchRequest settings{ModelFamily::ManualConstraint, 0, 1, 50, 0.0f, 19.0f};
    EXPECT_EQ(fault_of_run(settings), std::nullopt);
    EXPECT_EQ(recorder.stretched, 1);
    for (std::size_t k = 2; k <= 6; ++k)  // the boxes after the last copy it
        EXPECT_EQ((std::array{state.ManXMin[k], state.ManXMax[k], state.ManYMin[k],
                              state.ManYMax[k]}),
                  (std::array{12.0f, 19.0f, 2.5f, 3.5f})) << k;
    EXPECT_EQ(state.BestOfBestX[2], 19.0f);

    run(settings);  // a box already reaching the edge is not widened
    EXPECT_EQ(recorder.stretched, 1);
    state.NodeCount = 6;
    EXPECT_EQ(fault_of_run(settings), std::nullopt);
    // No box drawn: the stretch passes, every candidate's vertices coincide and none is scored.
    state.NodeCount = 0;
    forget_best_of_best(state);
    EXPECT_EQ(fault_of_run(settings), std::nullopt);
    EXPECT_EQ(state.BestOfBestSqDist, kUnsetBestOfBest);
}

// A candidate whose break points coincide where generation (x3 = x2) or evaluation (x2 = x1 on
// the first point) divides by their distance is no improvement; the search goes on, every
// trial taking the family's eight draws.
TEST_F(Search, CoincidingBreakPointsAreNoImprovement)
{
    for (const std::uint64_t zero : {8 * 30 + 2, 8 * 30 + 1}) {
        random = test::random_with_zero_as_draw(zero);
        const std::uint64_t before = random.draws();
        forget_best_of_best(state);
        const SearchRequest settings{ModelFamily::EventWithDuration, 0, 2, 40, 0.0f, 19.0f};
        EXPECT_EQ(fault_of_run(settings), std::nullopt) << zero;
        EXPECT_EQ(random.draws() - before, 2u * 40 * 8) << zero;
        EXPECT_LT(state.BestOfBestSqDist, kUnsetBestOfBest);
    }
}

// Sums of squares of any size can win: y around 5000 make every sum above the old starts 1e8
// and 999999. While the best of best has no value every improvement is a convergence point.
TEST_F(Search, AnyFiniteSumOfSquaresCanWin)
{
    for (std::size_t row = 1; row <= 20; ++row)
        state.data.DataY[row].number = 5000 + 2000 * state.data.DataY[row].number;
    state.CropMinY = 7000, state.CropMaxY = 11000;
    EXPECT_EQ(fault_of_run(ramp(2, 50)), std::nullopt);
    EXPECT_GT(state.BestOfBestSqDist, 1e6f);
    EXPECT_LT(state.BestOfBestSqDist, 1e8f);
    EXPECT_GT(state.ConvergenceTrace[1].y, 1e8f);
    EXPECT_NE(state.BestOfBestX[2], kUnsetVertex);
}

// The hints of faults that no small input reaches, and of none where the fault tells all.
TEST(SearchStop, FaultsNameTheirLimit)
{
    EngineState state;
    state.TrialCount = state.CropCount = 1;
    state.BestOfBestSqDist = 1.0f;
    using enum ModelFamily;
    struct Row { std::string where; std::optional<ModelFamily> family; std::string hint; };
    for (const Row& r : std::vector<Row>{
             {"ConvergenceTrace", {}, "more than 500 new overall bests since the reset"},
             {"TrialCount", {}, "more than 2147483647 trials since the reset"},
             {"report", AsymmetricEvent, "the symmetry index divides by X4 - X2 = 0"},
             {"GetR", {}, ""},
             {"report", SimpleRamp, ""},
             {"convergence plot width", {}, ""}}) {
        const SearchRequest settings{r.family, 0};
        const Fault fault(FaultKind::IndexOutOfRange, r.where);
        EXPECT_EQ(search_fault_hint(fault, state, settings, {}), r.hint) << r.where;
    }
    const SearchOutcome stopped{SearchEnd::Faulted, Fault(FaultKind::Overflow, "GetR")};
    state.CropCount = 0;
    EXPECT_EQ(search_stop_line("search", stopped, state, {}, {}),
              "search stopped: overflow in GetR (the crop window holds no data point)");
    EXPECT_EQ(search_stop_line("search", {SearchEnd::Declined}, state, {}, {}), "search stopped");
    EXPECT_EQ(search_stop_line("search", {}, state, {}, {}), "");
}

}  // namespace
