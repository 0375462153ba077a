// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/engine_state.h"
#include "core/model/fit_batch.h"
#include "core/search/search.h"
#include "core/search/trial_batch.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>

using namespace tolvenar;

namespace {

// The search as it is defined: one candidate after the other through GenerateModel, Fitting,
// GetSqDist and GetR. It stops after the trial that makes TrialCount stop_at.
void plain_search(EngineState& s, const SearchRequest& settings, RandomSource& random,
                  std::int32_t stop_at)
{
    const GenerateControls controls{settings.family, settings.constrain, settings.scale_left,
                                    settings.scale_width};
    for (int run = 1; run <= settings.runs.value(); ++run) {
        for (int k = 1; k <= 6; ++k)
            s.BestModelX[k] = s.BestModelY[k] = kUnsetVertex;
        s.BestSqDist = kRunBestStart;
        for (int trial = 1; trial <= settings.trials.value(); ++trial) {
            if (s.TrialCount == std::numeric_limits<std::int32_t>::max())
                throw Fault(FaultKind::Overflow, "TrialCount");
            ++s.TrialCount;
            bool scored = true;  // a zero divisor in the candidate's evaluation passes it over
            try {
                GenerateModel(s, controls, random);
                if (needs_plot_scaling(controls))
                    scale_model_to_plot(s, controls.scale_left, controls.scale_width);
                Fitting(s);
                GetSqDist(s);
            } catch (const Fault& fault) {
                if (!fault.is_zero_divisor())
                    throw;
                scored = false;
            }
            if (scored && s.SqDist < s.BestSqDist) {  // R's faults, 0 / 0 too, end the search
                s.BestSqDist = s.SqDist;
                GetR(s);
                s.BestModelX = s.ModelX, s.BestModelY = s.ModelY;
                if (s.SqDist < s.BestOfBestSqDist)
                    s.ConvergenceTrace[++s.ConvergenceCount] = {static_cast<float>(s.TrialCount),
                                                                s.BestSqDist};
            }
            if (s.TrialCount == stop_at)
                break;
        }
        if (s.BestSqDist < s.BestOfBestSqDist) {
            s.BestOfBestSqDist = s.BestSqDist, s.BestOfBestR = s.BestModelR;
            s.BestOfBestX = s.BestModelX, s.BestOfBestY = s.BestModelY;
        }
        if (settings.constrain == 0)
            widen_constraint_boxes(s);
        if (const ResultReport report = result_report(reported_best(s), settings.family); report.fault)
            throw *report.fault;
        if (s.TrialCount == stop_at)
            return;
    }
}

// Every bit a search leaves, the random stream's position included.
std::vector<std::uint32_t> bits_of(const EngineState& s, RandomSource random)
{
    std::vector<std::uint32_t> out{static_cast<std::uint32_t>(s.TrialCount),
                                   static_cast<std::uint32_t>(s.ConvergenceCount),
                                   static_cast<std::uint32_t>(random.draws())};
    const auto add = [&](float v) { out.push_back(std::bit_cast<std::uint32_t>(v)); };
    add(random.next());
    for (const auto* values : {&s.CropObserved, &s.CropModel})
        for (const float v : *values)
            add(v);
    for (const Vertices* v : {&s.ModelX, &s.ModelY, &s.BestModelX, &s.BestModelY,
                              &s.BestOfBestX, &s.BestOfBestY, &s.ConXMin, &s.ConXMax,
                              &s.ConYMin, &s.ConYMax})
        for (std::size_t k = 1; k <= 6; ++k)  // the best models' slot 0 is never written
            add((*v)[k]);
    for (const float v : {s.SqDist, s.BestModelR, s.BestSqDist, s.BestOfBestR,
                          s.BestOfBestSqDist})
        add(v);
    for (int k = 1; k <= s.ConvergenceCount; ++k)
        add(s.ConvergenceTrace[k].x), add(s.ConvergenceTrace[k].y);
    return out;
}

struct StopAt : SearchObserver {  // a stop asked for once TrialCount reaches `at`
    explicit StopAt(std::int32_t at) : at(at) {}
    void candidate_evaluated(const SearchView& s, std::int64_t) override { trials = s.trials(); }
    bool stop_requested() override { return trials == at; }
    std::int32_t at, trials = -1;
};

enum class Twist { None, ZeroDraw, Stop, TrialCountOverflow };

// Every family, free and then constrained, on random crops (x ascending, with repeats, or in no
// order; points left of the plot and beyond its right edge; every other one weighted, now and
// then by weights whose sums leave the single range): the search on 1, 2, 3 and 7 threads
// leaves every bit the plain loop leaves, also when a candidate's break points coincide, when
// the search is stopped and when it faults part-way.
TEST(BatchedSearch, IsBitIdenticalToThePlainLoopOnAnyNumberOfThreads)
{
    std::mt19937 engine(11);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(engine);
    };
    for (int c = 0; c < 56; ++c) {
        const auto family = static_cast<ModelFamily>(c % kFamilyCount);
        const auto twist = static_cast<Twist>(c / kFamilyCount % 4);
        const int order = c / (kFamilyCount * 4);  // 0: ascending with repeats, 1: no order
        const auto n = static_cast<std::size_t>(uniform(20, 260));
        std::vector<double> xs, ys;
        for (double x = uniform(1e4, 2e4); xs.size() < n; x += uniform(0, 1) < 0.2 ? 0 : 0.5) {
            xs.push_back(order == 1 && uniform(0, 1) < 0.3 ? x - uniform(0, 60) : x);
            ys.push_back(std::exp(-std::pow((x - xs[0]) / 30.0 - 2.0, 2.0)) + uniform(-0.1, 0.1));
        }
        EngineState start = test::state_over(xs, ys);
        if (c % 2 == 1) {
            // e^40: R's sums may overflow; e^-112: their weights' sum rounds to 0 in single.
            const double spread = c % 6 == 5 ? 40.0 : 2.0, scale = c % 6 == 3 ? -112.0 : 0.0;
            for (std::size_t i = 0; i < n + 2; ++i)
                start.DataWeight.push_back(std::exp(scale + uniform(-spread, spread)));
        }
        start.CropStart = static_cast<std::int32_t>(uniform(0, 5));
        start.CropCount = static_cast<std::int32_t>(n) - start.CropStart -
                          static_cast<std::int32_t>(uniform(0, 5));
        start.CropEnd = start.CropStart + start.CropCount;
        start.CropOrigin = xs[0];
        forget_best_of_best(start);
        start.NodeCount = node_count_of(family);
        // The plot ends left of the last points: they lie beyond every free candidate.
        const auto extent = static_cast<float>(0.5 * static_cast<double>(n));
        const SearchRequest free{family, 0, 2, 300, 3.0f, extent * 0.9f};
        if (family == ModelFamily::ManualConstraint) {  // boxes already reaching the right edge
            start.NodeCount = 4;
            for (std::size_t k = 1; k <= 6; ++k) {
                const auto box = static_cast<float>(std::min<std::size_t>(k, 4) - 1);
                start.ManXMin[k] = free.scale_left + extent * box / 4;
                start.ManXMax[k] = k >= 4 ? 1e4f : start.ManXMin[k] + extent / 4;
                start.ManYMin[k] = -0.2f, start.ManYMax[k] = 1.2f;
            }
        }
        // A first step of 0 on trial 190: the first two break points coincide, left of points.
        const std::uint64_t draws = std::array{10, 5, 5, 6, 9, 7, 8}[c % kFamilyCount];
        RandomSource first = twist == Twist::ZeroDraw
                                 ? test::random_with_zero_as_draw(189 * draws + 1)
                                 : RandomSource();
        if (twist == Twist::TrialCountOverflow)
            start.TrialCount = std::numeric_limits<std::int32_t>::max() - 170 - 300 * (c % 3);
        const std::int32_t stop_at = twist == Twist::Stop ? 171 + 300 * (c % 4) : -1;
        SearchRequest constrained = free;
        constrained.constrain = 1;

        EngineState expected = start;
        RandomSource expected_random = first;
        // Wider boxes: the last vertex of constrained candidates moves from one to the next.
        const auto loosen = [&](EngineState& s) {
            for (std::size_t k = 2; k <= 6; ++k)
                s.ConXMax[k] += extent * 0.2f;
        };
        const auto expected_fault = test::fault_of([&] {
            plain_search(expected, free, expected_random, stop_at);
            loosen(expected);
            plain_search(expected, constrained, expected_random, stop_at);
        });
        for (const int threads : {1, 2, 3, 7}) {
            EngineState state = start;
            RandomSource random = first;
            SearchEngine search;
            search.set_threads(threads);
            StopAt observer(stop_at);
            SearchOutcome outcome = search.run(state, free, random, observer);
            if (!outcome.fault) {
                loosen(state);
                outcome = search.run(state, constrained, random, observer);
            }
            const auto fault = outcome.fault ? std::optional(outcome.fault->kind()) : std::nullopt;
            ASSERT_EQ(fault, expected_fault) << "case " << c << ", " << threads << " threads";
            ASSERT_EQ(bits_of(state, random), bits_of(expected, expected_random))
                << "case " << c << ", " << threads << " threads";
        }
    }
}

// The point of drawing ahead: every trial of a batch is taken ahead, on any number of threads,
// up to the first candidate whose break points coincide on a point.
TEST(TrialBatch, TakesEveryTrialAheadUpToTheFirstFault)
{
    std::vector<double> xs, ys;
    for (int i = 0; i < 200; ++i)
        xs.push_back(i), ys.push_back(i < 100 ? 0.0 : 1.0);
    EngineState s = test::state_over(xs, ys);
    s.NodeCount = node_count_of(ModelFamily::SimpleRamp);
    const GenerateControls ramp{ModelFamily::SimpleRamp, 0, 0.0f, 199.0f};
    for (const int threads : {1, 2, 3}) {
        for (const auto& [random, ready] :
             {std::pair{RandomSource(), 1000}, {test::random_with_zero_as_draw(5 * 700 + 1), 700}}) {
            TrialBatch batch;
            ASSERT_TRUE(batch.prepare(s));
            EXPECT_EQ(batch.draw(s, ramp, false, random, 1000, threads), ready) << threads;
        }
    }
}

}  // namespace
