// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/fit.h"
#include "core/model/fit_batch.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <tuple>

using namespace tolvenar;
using namespace tolvenar::test;

namespace {

using Six = std::array<float, 6>;

// The reference routines and the fast scorer on the same candidates: model values (the last
// point's 10 left from an earlier candidate), squared distance and correlation, or the fault;
// with weights w, the weighted sum and correlation.
TEST(FitMeasures, ModelValuesDistanceAndCorrelation)
{
    const std::vector<double> v = {0, 1, 2, 3, 4};
    const std::optional<FaultKind> overflow = FaultKind::Overflow;
    const float h = -3e38f;  // levels whose differences leave the single range
    const struct { std::vector<double> x, y; Six model_x, model_y; std::vector<float> model;
                   float sq_dist, r; std::optional<FaultKind> fault; std::vector<double> w; }
        cases[] = {
        {v, v, {0, 1, 3, 4, 4, 4}, {0, 5, 1, 2, 2, 2}, {0, 5, 3, 1, 2}, 25, 0},  // on vertices
        {v, v, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4}, 0, 1},
        {v, v, {0, 1, 2, 3, 4, 4}, {2, 2, 2, 2, 2, 2}, {2, 2, 2, 2, 2}, 10, 0},  // flat: no R
        {v, v, {0, 4, 4, 4, 4, 4}, {4, 0, 0, 0, 0, 0}, {4, 3, 2, 1, 0}, 40, -1},
        {v, v, {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 10}, 36, 0.8778956f},  // beyond
        {v, v, {0, 2, 4, 4, 4, 4}, {0, 2, 4, 99, 99, 99}, {0, 1, 2, 3, 4}, 0, 1},  // copies unused
        {{-2, 0, 2}, {0, 0, 0}, {0, 2, 2, 2, 2, 2}, {1, 2, 2, 2, 2, 2}, {0, 1, 2}, 5, 0},  // left
        {{0, 1, 2}, {4096, 1, 1}, {0, 2, 2, 2, 2, 2}, {}, {0, 0, 0}, 16777216, 0},  // 2^24 + 1 + 1
        {v, v, {1, 1, 4, 4, 4, 4}, {0, 1, 4, 4, 4, 4}, {}, 0, 0, FaultKind::DivisionByZero},
        {{1, 2}, {0, 0}, {1, 1, 4, 4, 4, 4}, {0, 1, 4, 4, 4, 4}, {}, 0, 0, overflow},  // 0 / 0
        {{0, 1}, {3e38, -3e38}, {0, 1, 1, 1, 1, 1}, {h, h, h, h, h, h}, {}, 0, 0, overflow},
        {{0, 2}, {0, 0}, {0, 1, 1, 1, 1, 1}, {h, 3e38f}, {}, 0, 0, overflow},  // the slope
        {{}, {}, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 4}, {}, 0, 0, overflow},  // no mean
        {{0, 1}, {1e20, -1e20}, {0, 1, 1, 1, 1, 1}, {1e20f, -1e20f, -1e20f, -1e20f, -1e20f,
         -1e20f}, {}, 0, 0, overflow},  // a fit, but R's covariance leaves the single range
        {v, v, {0, 1, 2, 3, 4, 4}, {2, 2, 2, 2, 2, 2}, {2, 2, 2, 2, 2}, 12, 0, {}, {1, 2, 3, 4, 0.5}},
        {v, v, {0, 4, 4, 4, 4, 4}, {4, 0, 0, 0, 0, 0}, {4, 3, 2, 1, 0}, 10, -1, {},
         {0.25, 0.25, 0.25, 0.25, 0.25}},
        {v, v, {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 10}, 144, 0.9561624f, {},
         {1, 2, 1, 0.5, 4}},
        {{0, 1}, {0, 1}, {0, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, {}, 0, 0, overflow, {1e39, 1}},
        {{0, 1}, {1, 1}, {0, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0}, {}, 0, 0, overflow, {1e-46, 1e-46}},
    };
    const std::function<void(EngineState&)> ways[] = {
        [](EngineState& s) { Fitting(s); GetSqDist(s); GetR(s); },
        [](EngineState& s) { CropScorer().fit_and_score(s); GetR(s); }};
    for (const auto& c : cases) {
        const auto i = &c - cases;
        for (const auto& fit : ways) {
            EngineState s = state_over(c.x, c.y);
            if (!c.w.empty())
                s.DataWeight = row_weights(c.w);
            s.CropModel.back() = 10.0f;
            set_model(s, c.model_x, c.model_y);
            EXPECT_EQ(fault_of([&] { fit(s); }), c.fault) << "case " << i;
            if (c.fault)
                continue;
            const std::vector<float> model(s.CropModel.begin() + 1, s.CropModel.end());
            EXPECT_EQ(std::tuple(model, s.SqDist), std::tuple(c.model, c.sq_dist)) << "case " << i;
            EXPECT_NEAR(s.BestModelR, c.r, 1e-6f) << "case " << i;
        }
    }
}

// The candidate at model x t = x - CropOrigin; a fault leaves both crop arrays as they were, also
// at points evaluated before the one that faults.
TEST(FitMeasures, ModelXFromTheOriginAndNothingWrittenOnAFault)
{
    const std::function<void(EngineState&)> ways[] = {
        [](EngineState& s) { Fitting(s); GetSqDist(s); },
        [](EngineState& s) { CropScorer().fit_and_score(s); }};
    for (const auto& fit : ways) {
        EngineState far = state_over({2460003, 2459999.5, 2460001}, {1, 2, 3});
        far.CropOrigin = 2460000;
        set_model(far, {0, 1, 3, 4, 4, 4}, {0, 1, 3, 4, 4, 4});
        fit(far);
        EXPECT_EQ(std::vector<float>(far.CropModel.begin() + 1, far.CropModel.end()),
                  (std::vector<float>{3, -0.5f, 1}));
        EXPECT_EQ(far.SqDist, 14.25f);

        far.ModelX[2] = 0;  // a zero-length first segment holding the second point
        far.CropModel = far.CropObserved = {7, 7, 7, 7};
        const std::optional<FaultKind> fault = fault_of([&] { fit(far); });
        EXPECT_EQ(fault, FaultKind::DivisionByZero);
        EXPECT_EQ(far.CropModel, far.CropObserved);
        EXPECT_EQ(far.CropModel, (std::vector<float>{7, 7, 7, 7}));
    }
}

// The fits beyond the search take y about an origin only where single precision would lose
// the crop's digits: the midpoint of y far from zero for their spread, else 0 (data as written).
TEST(FitCrop, TakesYAboutAnOriginOnlyWhereSingleLosesDigits)
{
    struct Row { double lowest, highest, origin; };
    for (const Row& r : {Row{0, 1, 0}, Row{-1, 1, 0}, Row{300, 301, 0}, Row{4095, 4096, 0},
                         Row{1e6, 1e6 + 0.05, 1e6 + 0.025}, Row{-1e6 - 0.05, -1e6, -1e6 - 0.025},
                         Row{4097, 4098, 4097.5}, Row{5, 5, 5}, Row{0, 0, 0}, Row{2, 1, 0}})
        EXPECT_EQ(fit_y_origin(r.lowest, r.highest), r.origin) << r.lowest << " " << r.highest;
    // A crop whose y need an origin holds them less it, with its extent and its boxes (empty
    // and unset boxes keep their marks); models go there and back.
    EngineState far = state_over({0, 1, 2, 3}, {1e6, 1e6 + 0.02, 1e6 + 0.04, 1e6 + 0.06});
    forget_best_of_best(far);
    far.ConYMin[2] = 999999.5f;
    far.ConYMax[2] = 1000000.5f;
    const FitCrop crop = fit_crop(far);
    EXPECT_EQ(crop.y_origin, 1e6 + 0.03);
    EXPECT_FLOAT_EQ(crop.y(0), -0.03f);
    EXPECT_NEAR(crop.data_y(3), 1e6 + 0.06, 1e-9);
    EXPECT_FLOAT_EQ(crop.min_y, -0.03f);
    EXPECT_FLOAT_EQ(crop.constraint.ymin[2], -0.53f);
    EXPECT_EQ(crop.constraint.ymin[3], kEmptyLowerLimit);
    Model model;
    model.y = {0, 1e6, 1e6, 1e6, 1e6, 1e6, 1e6};
    EXPECT_FLOAT_EQ(about_y_origin(model, crop.y_origin).y[1], -0.03f);
    EXPECT_EQ(about_y_origin(about_y_origin(model, crop.y_origin), -crop.y_origin).y, model.y);
}

class CropScorerVariant : public ::testing::TestWithParam<FitPointsVariant> {};

// Weights for rows 0..n + 1 of one kind: 1, powers of two, spread over 1e-3..1e3, or over
// 1e-30..1e30 (sums that underflow or overflow).
std::vector<double> random_weights(std::size_t n, int kind, std::mt19937& engine)
{
    std::vector<double> w(n + 2, 1.0);
    std::uniform_real_distribution<> exponent(-1.0, 1.0);
    for (double& v : w)
        v = kind == 0   ? 1.0
            : kind == 1 ? std::ldexp(1.0, static_cast<int>(8 * exponent(engine)))
                        : std::pow(10.0, (kind == 2 ? 3 : 30) * exponent(engine));
    return w;
}

// Every instruction-set variant this processor runs, against the reference loop: crops of
// 0..600 points (x ascending with ties and strays, now and then a text; now and then cropped
// anew), y and earlier model values at one scale from tiny to overflowing, every other crop
// weighted (now and then with too few weights); candidates on points, coinciding, inverted,
// beyond the points, at huge levels.
TEST_P(CropScorerVariant, IsBitIdenticalToTheReferenceLoop)
{
    std::mt19937 engine(20261206);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(engine);
    };
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(engine); };
    const auto bits = [](const EngineState& s) {  // what a scoring leaves, a zero's sign included
        std::vector<std::uint32_t> out{std::bit_cast<std::uint32_t>(s.SqDist)};
        for (const auto* values : {&s.CropObserved, &s.CropModel})
            for (const float v : *values)
                out.push_back(std::bit_cast<std::uint32_t>(v));
        return out;
    };
    int faults = 0, beyond = 0;
    for (int c = 0; c < 400; ++c) {
        const auto n = static_cast<std::size_t>(chance(0.05) ? 0 : uniform(1, 601));
        const double scale = std::array{1.0, 1e-22, 1e6, 1e18, 1e30}[engine() % 5];
        std::vector<double> xs, ys;
        for (double x = uniform(-50, 50); xs.size() < n; x += chance(0.1) ? 0 : uniform(0, 2)) {
            xs.push_back(chance(0.05) ? uniform(-100, 400) : x);
            ys.push_back(scale * uniform(-1, 1));
        }
        EngineState state = state_over(xs, ys);
        if (n > 0 && chance(0.02))
            state.data.DataX[1 + engine() % n] = state.data.DataX[0];  // a text
        if (c % 2 == 1)
            state.DataWeight = random_weights(n, c / 2 % 4, engine);
        if (n > 0 && chance(0.02))
            state.DataWeight.resize(n / 2);
        for (float& old : state.CropModel)
            old = static_cast<float>(scale * uniform(-1, 1));
        CropScorer scorer(GetParam().function);
        for (int t = 0; t < 40; ++t) {
            const double level = chance(0.05) ? 1e37 : (chance(0.5) ? 1.0 : 1e6);
            auto x = static_cast<float>(uniform(-80, 200));
            for (int k = 1; k <= 6; ++k) {
                const Cell& point = state.data.DataX[n > 0 ? 1 + engine() % n : 0];
                if (n > 0 && chance(0.2))
                    x = point.kind == CellKind::Number ? static_cast<float>(point.number) : 0.0f;
                else if (!chance(0.15))
                    x += static_cast<float>(uniform(chance(0.1) ? -30 : 0, 120));
                state.ModelX[k] = x;
                state.ModelY[k] = static_cast<float>(level * uniform(-1, 1));
            }
            if (chance(0.05))
                state.ModelX[2] = state.ModelX[1];
            if (c % 2 == 1 && chance(0.05))  // weights anew: the scorer rereads
                state.DataWeight = random_weights(n, 2, engine);
            if (n > 0 && chance(0.1)) {  // another crop of the same rows: the scorer rereads
                state.CropStart = static_cast<std::int32_t>(engine() % n);
                state.CropCount = static_cast<std::int32_t>(engine() % (n - state.CropStart + 1));
            }
            EngineState expected = state;
            const auto fault = fault_of([&] { Fitting(expected); GetSqDist(expected); });
            ASSERT_EQ(fault_of([&] { scorer.fit_and_score(state); }), fault) << c << "/" << t;
            ASSERT_EQ(bits(state), bits(expected)) << "crop " << c << " candidate " << t;
            faults += fault.has_value();
            beyond += n > 0 && state.ModelX[6] < xs.back();
        }
    }
    EXPECT_GT(faults, 100);  // the cases the comparison is meant to cover do occur
    EXPECT_GT(beyond, 1000);
}

INSTANTIATE_TEST_SUITE_P(Kernels, CropScorerVariant, ::testing::ValuesIn(fit_points_variants()),
                         [](const auto& info) { return std::string(info.param.name); });

class LaneKernel : public ::testing::TestWithParam<LaneVariant> {};

// Every variant against Fitting + GetSqDist candidate after candidate, on crops in any x order
// with repeats, every other one weighted: candidates with inversions, coinciding break points,
// points beyond their last vertex, levels and break points whose differences leave the single
// range. The same sums, a sum that is not finite exactly where the reference faults, the same
// model values after.
TEST_P(LaneKernel, ScoresCandidatesInARowAsTheReferenceDoes)
{
    std::mt19937 engine(5);
    const auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<>(lo, hi)(engine);
    };
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(engine); };
    const auto bits = [](const std::vector<float>& values) {
        std::vector<std::uint32_t> out;
        for (const float v : values)
            out.push_back(std::bit_cast<std::uint32_t>(v));
        return out;
    };
    int faults = 0;
    for (int c = 0; c < 80; ++c) {
        // On a grid (x whole, levels in quarters) the reciprocal's value now and then rounds
        // to the other single.
        const bool grid = c % 2 == 0, ordered = chance(0.7);
        const auto on_grid = [&](double v, double step) {
            return grid ? std::round(v / step) * step : v;
        };
        const auto n = static_cast<std::size_t>(uniform(0, 300));
        std::vector<double> xs, ys;
        for (double x = 0; xs.size() < n; x += chance(0.2) ? 0 : on_grid(uniform(0, 2), 1))
            xs.push_back(ordered ? x : uniform(-20, 320)), ys.push_back(uniform(-1, 1));
        EngineState state = state_over(xs, ys);
        if (c % 4 >= 2)
            state.DataWeight = random_weights(n, c % 4 == 2 ? 1 : 2, engine);
        for (float& old : state.CropModel)
            old = static_cast<float>(uniform(-1, 1));
        BatchScorer scorer(GetParam().function);
        ASSERT_TRUE(scorer.read_crop(state));
        const int count = static_cast<int>(uniform(1, 60));
        std::vector<Vertices> x(count), y(count);
        for (int k = 0; k < count; ++k) {
            const double level = chance(0.03) ? 3e38 : (chance(0.5) ? 4.0 : 1e6);
            for (std::size_t v = 1; v <= 6; ++v) {
                const double step = uniform(chance(0.1) ? -30 : 0, 90);
                x[k][v] = static_cast<float>(
                    on_grid(v == 1 ? uniform(-10, 40) : x[k][v - 1] + step, 1));
                y[k][v] = static_cast<float>(on_grid(level * uniform(-1, 1), 0.25));
            }
            if (chance(0.03))
                x[k][2] = x[k][1];
            if (chance(0.01))
                x[k][3] = -3e38f, x[k][4] = 3e38f;
        }
        const std::vector<float> before(state.CropModel.begin() + 1, state.CropModel.end());
        std::vector<float> kept = before, sums(count), model(n);
        scorer.score(x.data(), y.data(), count, kept, sums.data());
        for (int k = 0; k < count; ++k) {
            set_model(state, {x[k][1], x[k][2], x[k][3], x[k][4], x[k][5], x[k][6]},
                      {y[k][1], y[k][2], y[k][3], y[k][4], y[k][5], y[k][6]});
            const auto fault = fault_of([&] { Fitting(state); GetSqDist(state); });
            ASSERT_EQ(!std::isfinite(sums[k]), fault.has_value()) << c << "/" << k;
            faults += fault.has_value();
            if (fault)
                break;
            ASSERT_EQ(bits({sums[k]}), bits({state.SqDist})) << c << "/" << k;
            scorer.model_after(x.data(), y.data(), k, before.data(), model.data());
            ASSERT_EQ(bits(model), bits({state.CropModel.begin() + 1, state.CropModel.end()}));
        }
    }
    EXPECT_GT(faults, 10);
}

INSTANTIATE_TEST_SUITE_P(Kernels, LaneKernel, ::testing::ValuesIn(lane_variants()),
                         [](const auto& info) { return std::string(info.param.name); });

// The running sum against float(double(sum) + square) on sequences made to hit its edges:
// squares of short mantissas (exact halfway cases), weighted ones (any double), zeros, magnitudes
// from subnormal to beyond the single range, jumps of whole binades.
TEST(SingleRunningSum, MatchesTheStraightforwardSum)
{
    std::mt19937 engine(7);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution(lo, hi)(engine); };
    for (int sequence = 0; sequence < 3000; ++sequence) {
        const int length = pick(1, 400), base = pick(-80, 64);
        std::vector<double> squares;
        for (int i = 0; i < length; ++i) {
            const int bits = pick(1, 24);
            const auto mantissa = static_cast<float>(pick(1, (1 << bits) - 1));
            const float d = std::ldexp(mantissa, base + pick(-30, 6) - bits);
            squares.push_back(pick(0, 20) == 0 ? 0.0 : d * (d * (pick(0, 1) ? 1.0 : 0.7)));
        }
        float expected = 0.0f;
        for (const double square : squares)
            if (!std::isinf(expected))
                expected = static_cast<float>(static_cast<double>(expected) + square);
        SingleRunningSum sum;
        const int split = pick(0, length);
        sum.add(squares.data(), split);
        sum.add(squares.data() + split, length - split);
        ASSERT_EQ(sum.overflowed(), std::isinf(expected)) << "sequence " << sequence;
        if (!sum.overflowed())
            ASSERT_EQ(sum.value(), expected) << "sequence " << sequence;  // exactly: never NaN
    }
    SingleRunningSum sum;  // a weighted square over half the sum's binade, its sum still in it
    const double pair[] = {0x1.17a14ep+0, 0x1.55bea9ffffffep-1};
    sum.add(pair, 2);
    EXPECT_EQ(sum.value(), static_cast<float>(pair[0] + pair[1]));
}

}  // namespace
