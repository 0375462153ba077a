// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/fit.h"

#include "model_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <ostream>
#include <random>

namespace tolvenar {
void PrintTo(const FitPointsVariant& variant, std::ostream* os) { *os << variant.name; }
}  // namespace tolvenar

using namespace tolvenar;
using tolvenar::testing::fault_of;
using tolvenar::testing::set_model;
using tolvenar::testing::state_with_points;

namespace {

EngineState five_points()
{
    return state_with_points({0, 1, 2, 3, 4}, {0, 1, 2, 3, 4});
}

TEST(Fitting, APointAtAVertexTakesItsLevel)
{
    EngineState state = five_points();
    // Vertex 2 at x = 1 (level 5), vertex 3 at x = 3 (level 1).
    set_model(state, {0, 1, 3, 4, 4, 4}, {0, 5, 1, 2, 2, 2});
    Fitting(state);
    EXPECT_EQ(state.CropModel[2], 5.0f);  // x = 1 on the segment ending at vertex 2
    EXPECT_EQ(state.CropModel[4], 1.0f);  // x = 3
    EXPECT_EQ(state.CropModel[3], 3.0f);  // halfway between
    EXPECT_EQ(state.CropObserved[5], 4.0f);
}

TEST(Fitting, APointBeyondVertexSixKeepsItsValueAndStillCounts)
{
    EngineState state = five_points();
    state.CropModel[5] = 10.0f;  // from an earlier candidate
    set_model(state, {0, 1, 2, 3, 3, 3}, {0, 1, 2, 3, 3, 3});
    Fitting(state);
    GetSqDist(state);
    EXPECT_EQ(state.CropModel[5], 10.0f);
    EXPECT_EQ(state.SqDist, 36.0f);  // (4 - 10)^2, the other points fit
}

TEST(Fitting, ZeroLengthCopiesAtTheEndAreNeverChosen)
{
    EngineState state = five_points();
    set_model(state, {0, 2, 4, 4, 4, 4}, {0, 2, 4, 99, 99, 99});
    Fitting(state);
    EXPECT_EQ(state.CropModel[5], 4.0f);  // x = 4 ends segment 2, not the copies
}

TEST(Fitting, AZeroLengthFirstSegmentUnderAPointFaults)
{
    EngineState state = five_points();
    set_model(state, {1, 1, 4, 4, 4, 4}, {0, 1, 4, 4, 4, 4});
    EXPECT_EQ(fault_of([&] { Fitting(state); }), FaultKind::DivisionByZero);  // x = 0
    state = state_with_points({1, 2}, {0, 0});
    set_model(state, {1, 1, 4, 4, 4, 4}, {0, 1, 4, 4, 4, 4});
    EXPECT_EQ(fault_of([&] { Fitting(state); }), FaultKind::Overflow);  // 0 / 0 at x = 1
}

TEST(Fitting, ATextCellAmongTheCroppedRowsIsATypeMismatch)
{
    EngineState state = five_points();
    state.data.texts.push_back("n/a");
    state.data.DataY[3] = Cell{CellKind::Text, 0, 0.0};
    set_model(state, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 4});
    EXPECT_EQ(fault_of([&] { Fitting(state); }), FaultKind::TypeMismatch);
    CropScorer scorer;
    EXPECT_EQ(fault_of([&] { scorer.fit_and_score(state); }), FaultKind::TypeMismatch);
}

TEST(FitMeasures, APerfectFitHasNoDistanceAndFullCorrelation)
{
    EngineState state = five_points();
    set_model(state, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 4});
    Fitting(state);
    GetSqDist(state);
    GetR(state);
    EXPECT_EQ(state.SqDist, 0.0f);
    EXPECT_NEAR(state.BestModelR, 1.0f, 1e-6f);
}

TEST(FitMeasures, AFlatCandidateHasNoCorrelation)
{
    EngineState state = five_points();
    set_model(state, {0, 1, 2, 3, 4, 4}, {2, 2, 2, 2, 2, 2});
    Fitting(state);
    GetSqDist(state);
    GetR(state);
    EXPECT_EQ(state.SqDist, 10.0f);
    EXPECT_EQ(state.BestModelR, 0.0f);
}

TEST(FitMeasures, AMirroredCandidateHasCorrelationMinusOne)
{
    EngineState state = five_points();
    set_model(state, {0, 4, 4, 4, 4, 4}, {4, 0, 0, 0, 0, 0});
    Fitting(state);
    GetR(state);
    EXPECT_NEAR(state.BestModelR, -1.0f, 1e-6f);
}

TEST(FitMeasures, AnEmptyCropScoresZeroButHasNoCorrelation)
{
    EngineState state = state_with_points({}, {});
    set_model(state, {0, 1, 2, 3, 4, 4}, {0, 1, 2, 3, 4, 4});
    Fitting(state);
    GetSqDist(state);
    EXPECT_EQ(state.SqDist, 0.0f);
    EXPECT_EQ(fault_of([&] { GetR(state); }), FaultKind::Overflow);
}

TEST(FitMeasures, SumsRoundToSingleAfterEveryAddition)
{
    // 2^24 + 1 is not a single: each addition of 1 to 2^24 is lost.
    EngineState state = state_with_points({0, 1, 2}, {4096, 1, 1});
    set_model(state, {0, 2, 2, 2, 2, 2}, {0, 0, 0, 0, 0, 0});
    state.data.DataY[2] = Cell::of_number(1);
    state.data.DataY[3] = Cell::of_number(1);
    Fitting(state);
    GetSqDist(state);
    EXPECT_EQ(state.SqDist, 16777216.0f);
    CropScorer scorer;
    scorer.fit_and_score(state);
    EXPECT_EQ(state.SqDist, 16777216.0f);
}

TEST(FitMeasures, ADistanceBeyondTheSingleRangeOverflows)
{
    EngineState state = state_with_points({0, 1}, {3e38, -3e38});
    set_model(state, {0, 1, 1, 1, 1, 1}, {-3e38f, -3e38f, -3e38f, -3e38f, -3e38f, -3e38f});
    Fitting(state);
    EXPECT_EQ(fault_of([&] { GetSqDist(state); }), FaultKind::Overflow);
}

// ---- The fast scorer against the reference loop ----------------------------------------------

struct Outcome {
    std::optional<FaultKind> fault;
    std::vector<float> observed;
    std::vector<float> model;
    float sq_dist;
};

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

class Candidates {
public:
    explicit Candidates(unsigned seed) : m_engine(seed) {}

    double uniform(double lo, double hi) { return std::uniform_real_distribution<>(lo, hi)(m_engine); }
    int integer(int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(m_engine); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_engine); }

    // A crop of 0..600 points: ascending or shuffled x, y at scales from tiny to overflowing.
    EngineState crop()
    {
        const int n = chance(0.05) ? 0 : integer(1, 600);
        const double scale = std::array<double, 5>{1.0, 1e-22, 1e6, 1e18, 1e30}[static_cast<std::size_t>(integer(0, 4))];
        std::vector<double> xs(static_cast<std::size_t>(n));
        std::vector<double> ys(static_cast<std::size_t>(n));
        double x = uniform(-50.0, 50.0);
        for (int i = 0; i < n; ++i) {
            x += chance(0.1) ? 0.0 : uniform(0.0, 2.0);
            xs[static_cast<std::size_t>(i)] = chance(0.05) ? uniform(-100.0, 400.0) : x;
            ys[static_cast<std::size_t>(i)] = scale * uniform(-1.0, 1.0);
        }
        EngineState state = state_with_points(xs, ys);
        if (n > 0 && chance(0.02)) {
            state.data.texts.push_back("text");
            state.data.DataX[static_cast<std::size_t>(integer(1, n))] = Cell{CellKind::Text, 0, 0.0};
        }
        for (float& old : state.CropModel)
            old = static_cast<float>(scale * uniform(-1.0, 1.0));
        return state;
    }

    // A candidate over the crop: vertices at point x, beyond the points, coinciding, inverted,
    // at huge values.
    void candidate(EngineState& state)
    {
        const int n = state.CropCount;
        const auto point_x = [&] {
            const Cell& cell = state.data.DataX[static_cast<std::size_t>(integer(1, n))];
            return cell.kind == CellKind::Number ? static_cast<float>(cell.number) : 0.0f;
        };
        const double level_scale = chance(0.05) ? 1e37 : (chance(0.5) ? 1.0 : 1e6);
        float x = static_cast<float>(uniform(-80.0, 200.0));
        for (int k = 1; k <= 6; ++k) {
            if (n > 0 && chance(0.2))
                x = point_x();
            else if (!chance(0.15))
                x += static_cast<float>(uniform(chance(0.1) ? -30.0 : 0.0, 120.0));
            state.ModelX[k] = x;
            state.ModelY[k] = static_cast<float>(level_scale * uniform(-1.0, 1.0));
        }
        if (chance(0.05))
            state.ModelX[2] = state.ModelX[1];
    }

private:
    std::mt19937 m_engine;
};

template <typename Score>
Outcome score(EngineState state, Score&& score_it)
{
    Outcome outcome;
    outcome.fault = fault_of([&] { score_it(state); });
    outcome.observed = state.CropObserved;
    outcome.model = state.CropModel;
    outcome.sq_dist = state.SqDist;
    return outcome;
}

class CropScorerVariant : public ::testing::TestWithParam<FitPointsVariant> {};

// Every instruction-set variant this processor runs, against the straightforward loop.
TEST_P(CropScorerVariant, IsBitIdenticalToTheReferenceLoop)
{
    Candidates random(20261206);
    int faults = 0;
    int beyond = 0;
    for (int c = 0; c < 400; ++c) {
        EngineState state = random.crop();
        CropScorer scorer(GetParam().function);
        for (int t = 0; t < 40; ++t) {
            random.candidate(state);
            const Outcome expected = score(state, [](EngineState& s) {
                Fitting(s);
                GetSqDist(s);
            });
            EngineState fast = state;
            const std::optional<FaultKind> fault = fault_of([&] { scorer.fit_and_score(fast); });
            ASSERT_EQ(fault, expected.fault) << "crop " << c << " candidate " << t;
            ASSERT_TRUE(same_bits(fast.CropObserved, expected.observed));
            ASSERT_TRUE(same_bits(fast.CropModel, expected.model)) << "crop " << c << " candidate " << t;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(fast.SqDist),
                      std::bit_cast<std::uint32_t>(expected.sq_dist))
                << fast.SqDist << " vs " << expected.sq_dist;
            faults += expected.fault.has_value();
            beyond += state.CropCount > 0 && static_cast<double>(state.ModelX[6]) <
                                                 state.data.DataX[static_cast<std::size_t>(state.CropCount)].number;
            state = fast;  // later candidates see the values this one left
        }
    }
    // The cases the comparison is meant to cover do occur.
    EXPECT_GT(faults, 100);
    EXPECT_GT(beyond, 1000);
}

INSTANTIATE_TEST_SUITE_P(Kernels, CropScorerVariant, ::testing::ValuesIn(fit_points_variants()),
                         [](const auto& info) { return std::string(info.param.name); });

// The running sum against float(double(sum) + square) on sequences made to hit its edges:
// squares of short mantissas (exact halfway cases), zeros, magnitudes from subnormal to beyond
// the single range, jumps of whole binades.
TEST(SingleRunningSum, MatchesTheStraightforwardSum)
{
    std::mt19937 engine(7);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<>(lo, hi)(engine); };
    for (int sequence = 0; sequence < 3000; ++sequence) {
        const int length = pick(1, 400);
        const int base = pick(-80, 64);
        std::vector<double> squares;
        for (int i = 0; i < length; ++i) {
            const int bits = pick(1, 24);
            const auto mantissa = static_cast<float>(pick(1, (1 << bits) - 1));
            const float d = std::ldexp(mantissa, base + pick(-30, 6) - bits);
            squares.push_back(pick(0, 20) == 0 ? 0.0 : static_cast<double>(d) * d);
        }
        float expected = 0.0f;
        bool overflow = false;
        for (double square : squares) {
            expected = static_cast<float>(static_cast<double>(expected) + square);
            if (std::isinf(expected)) {
                overflow = true;
                break;
            }
        }
        SingleRunningSum sum;
        const int split = pick(0, length);
        sum.add(squares.data(), split);
        sum.add(squares.data() + split, length - split);
        ASSERT_EQ(sum.overflowed(), overflow) << "sequence " << sequence;
        if (!overflow)
            ASSERT_EQ(std::bit_cast<std::uint32_t>(sum.value()), std::bit_cast<std::uint32_t>(expected))
                << "sequence " << sequence << ": " << sum.value() << " vs " << expected;
    }
}

TEST(CropScorer, RereadsTheCropWhenItChanges)
{
    EngineState state = five_points();
    set_model(state, {0, 1, 2, 3, 4, 4}, {0, 0, 0, 0, 0, 0});
    CropScorer scorer;
    scorer.fit_and_score(state);
    EXPECT_EQ(state.SqDist, 30.0f);
    state.CropStart = 2;
    state.CropCount = 3;
    state.CropObserved.assign(4, 0.0f);
    state.CropModel.assign(4, 0.0f);
    scorer.fit_and_score(state);
    EXPECT_EQ(state.SqDist, 4.0f + 9.0f + 16.0f);  // rows 3..5
}

}  // namespace
