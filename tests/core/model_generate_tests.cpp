// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/generate.h"

#include "model_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>

using namespace tolvenar;
using tolvenar::testing::fault_of;

namespace {

constexpr std::array<ModelFamily, 7> kFamilies{
    ModelFamily::ManualConstraint, ModelFamily::SimpleRamp,    ModelFamily::SymmetricEvent,
    ModelFamily::AsymmetricEvent,  ModelFamily::Free4Segments, ModelFamily::Free3Segments,
    ModelFamily::EventWithDuration};

// Boxes that hold every vertex somewhere sensible: x box k around k, y box k around k / 10.
EngineState state_with_boxes()
{
    EngineState state;
    for (int k = 1; k <= 6; ++k) {
        state.ConXMin[k] = static_cast<float>(k) - 0.25f;
        state.ConXMax[k] = static_cast<float>(k) + 0.25f;
        state.ConYMin[k] = 0.1f * static_cast<float>(k);
        state.ConYMax[k] = 0.1f * static_cast<float>(k) + 0.05f;
        state.ManXMin[k] = state.ConXMin[k];
        state.ManXMax[k] = state.ConXMax[k];
        state.ManYMin[k] = state.ConYMin[k];
        state.ManYMax[k] = state.ConYMax[k];
    }
    state.NodeCount = 6;
    return state;
}

float level_of(float u)
{
    return static_cast<float>(static_cast<double>(1.6f * u) - 0.3);
}

struct DrawCase {
    ModelFamily family;
    std::int16_t constrain;
    std::uint64_t draws;
};
void PrintTo(const DrawCase& c, std::ostream* os)
{
    *os << family_caption(c.family) << (c.constrain ? " constrained" : " free");
}

class DrawCount : public ::testing::TestWithParam<DrawCase> {};

// The random stream is shared by the window and the command line: each family draws a fixed
// number of values per call, in both modes.
TEST_P(DrawCount, IsFixedPerFamilyAndMode)
{
    const DrawCase& c = GetParam();
    EngineState state = state_with_boxes();
    RandomSource random;
    const GenerateControls controls{c.family, c.constrain, 0.0f, 10.0f};
    for (int call = 1; call <= 50; ++call) {
        GenerateModel(state, controls, random);
        ASSERT_EQ(random.draws(), c.draws * static_cast<std::uint64_t>(call));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Families, DrawCount,
    ::testing::Values(DrawCase{ModelFamily::Free4Segments, 0, 9},
                      DrawCase{ModelFamily::AsymmetricEvent, 0, 6},
                      DrawCase{ModelFamily::SymmetricEvent, 0, 5},
                      DrawCase{ModelFamily::SimpleRamp, 0, 5},
                      DrawCase{ModelFamily::Free3Segments, 0, 7},
                      DrawCase{ModelFamily::EventWithDuration, 0, 8},
                      DrawCase{ModelFamily::ManualConstraint, 0, 10},
                      DrawCase{ModelFamily::Free4Segments, 1, 8},
                      DrawCase{ModelFamily::Free3Segments, 1, 6},
                      DrawCase{ModelFamily::AsymmetricEvent, 1, 5},
                      DrawCase{ModelFamily::SymmetricEvent, 1, 4},
                      DrawCase{ModelFamily::SimpleRamp, 1, 4},
                      DrawCase{ModelFamily::EventWithDuration, 1, 7},
                      DrawCase{ModelFamily::ManualConstraint, 1, 10}));

TEST(GenerateModel, GreyedConstrainOrNoFamilyLeavesTheCandidate)
{
    EngineState state = state_with_boxes();
    tolvenar::testing::set_model(state, {1, 3, 2, 4, 5, 6}, {1, 2, 3, 4, 5, 6});
    RandomSource random;
    GenerateModel(state, {ModelFamily::SimpleRamp, 2, 0.0f, 1.0f}, random);
    GenerateModel(state, {std::nullopt, 0, 0.0f, 1.0f}, random);
    EXPECT_EQ(random.draws(), 0u);
    EXPECT_EQ(state.ModelX[2], 3.0f);
    EXPECT_EQ(state.ModelX[3], 2.0f);

    // Constrained without a family the reorder pass still runs.
    GenerateModel(state, {std::nullopt, 1, 0.0f, 1.0f}, random);
    EXPECT_EQ(random.draws(), 0u);
    EXPECT_EQ(state.ModelX[2], 2.5f);
    EXPECT_EQ(state.ModelX[3], 2.5f);
    EXPECT_EQ(state.ModelY[2], 2.0f);
}

// Every free family: x1 = 0, the tied levels equal, the vertices after the last copy it.
TEST(GenerateModel, FreeFamiliesKeepTheirTies)
{
    RandomSource random;
    EngineState state;
    for (int call = 0; call < 300; ++call) {
        for (ModelFamily family : kFamilies) {
            if (family == ModelFamily::ManualConstraint)
                continue;
            GenerateModel(state, {family, 0, 0.0f, 1.0f}, random);
            const Vertices& x = state.ModelX;
            const Vertices& y = state.ModelY;
            SCOPED_TRACE(std::string(family_caption(family)));
            ASSERT_EQ(x[1], 0.0f);
            ASSERT_TRUE(std::is_sorted(x.begin() + 1, x.end()));
            switch (family) {
            case ModelFamily::SimpleRamp:
                ASSERT_EQ(y[2], y[1]);
                ASSERT_EQ(y[4], y[3]);
                ASSERT_TRUE(y[1] >= 0.0f && y[1] < 1.0f && y[3] >= 0.0f && y[3] < 1.0f);
                ASSERT_TRUE(x[5] == x[4] && x[6] == x[4] && y[5] == y[4] && y[6] == y[4]);
                break;
            case ModelFamily::SymmetricEvent:
                ASSERT_EQ(x[4], (x[3] + x[3]) - x[2]);
                [[fallthrough]];
            case ModelFamily::AsymmetricEvent:
                ASSERT_TRUE(y[2] == y[1] && y[4] == y[1] && y[5] == y[1] && y[6] == y[1]);
                ASSERT_TRUE(y[3] >= -0.3f && y[3] < 1.3f);
                ASSERT_TRUE(x[6] == x[5] && x[5] > x[4]);
                break;
            case ModelFamily::Free4Segments:
                ASSERT_TRUE(x[6] == x[5] && y[6] == y[5]);
                break;
            case ModelFamily::Free3Segments:
                ASSERT_TRUE(x[5] == x[4] && x[6] == x[4] && y[5] == y[4] && y[6] == y[4]);
                break;
            case ModelFamily::EventWithDuration:
                ASSERT_TRUE(y[2] == y[1] && y[5] == y[1] && y[6] == y[1]);
                break;
            case ModelFamily::ManualConstraint: break;
            }
        }
    }
}

// "Event with duration", free: steps, two levels, then y4 between Lo and Hi, and when y4 lies
// farther from the baseline than the peak both amplitudes shrink so that vertex 4 ends at the
// peak's drawn amplitude.
TEST(GenerateModel, FreeEventWithDurationPlateau)
{
    RandomSource random;
    EngineState state;
    int rescaled = 0;
    for (int call = 0; call < 2000; ++call) {
        RandomSource replay = random;
        float u[8];
        for (float& v : u)
            v = replay.next();
        GenerateModel(state, {ModelFamily::EventWithDuration, 0, 0.0f, 1.0f}, random);
        const Vertices& x = state.ModelX;
        const Vertices& y = state.ModelY;
        float expected_x = 0.0f;
        for (int k = 2; k <= 6; ++k) {
            expected_x += u[k - 2];
            ASSERT_EQ(x[k], expected_x);
        }
        const float base = level_of(u[5]);
        const float peak = level_of(u[6]);
        ASSERT_EQ(y[1], base);
        const float lo = peak - (peak - base) * (x[4] - x[3]) / (x[5] - x[3]);
        const float hi = peak + (peak - base) * (x[4] - x[3]) / (x[3] - x[2]);
        const float drawn = lo + u[7] * (hi - lo);
        if (std::fabs(drawn - base) > std::fabs(peak - base)) {
            ++rescaled;
            ASSERT_NEAR(std::fabs(y[4] - base), std::fabs(peak - base), 1e-5f);
            ASSERT_LT(std::fabs(y[3] - base), std::fabs(peak - base) + 1e-6f);
        } else {
            ASSERT_EQ(y[3], peak);
            ASSERT_EQ(y[4], drawn);
            ASSERT_TRUE((y[4] >= std::min(lo, hi)) && (y[4] <= std::max(lo, hi)));
        }
    }
    EXPECT_GT(rescaled, 0);
}

// A box of zero width yields exactly its limit, in every family.
TEST(GenerateModel, ZeroWidthBoxesYieldTheLimit)
{
    for (ModelFamily family : kFamilies) {
        SCOPED_TRACE(std::string(family_caption(family)));
        EngineState state;
        // Levels that leave the plateau rule of "Event with duration" alone.
        const float levels[7] = {0, 0.5f, 0.5f, 3.0f, 2.5f, 0.5f, 0.5f};
        for (int k = 1; k <= 6; ++k) {
            state.ConXMin[k] = state.ConXMax[k] = 10.0f * static_cast<float>(k);
            state.ConYMin[k] = state.ConYMax[k] = levels[k];
        }
        state.NodeCount = 6;
        RandomSource random;
        GenerateModel(state, {family, 1, 0.0f, 1.0f}, random);
        for (int k = 1; k <= 6; ++k) {
            // Every x is a limit (or the mean of two, x3 of "Symmetric event": 30), every y a level.
            EXPECT_EQ(std::fmod(state.ModelX[k], 10.0f), 0.0f) << "x" << k;
            const float y = state.ModelY[k];
            EXPECT_TRUE(y == 0.5f || y == 3.0f || y == 2.5f) << "y" << k << " = " << y;
        }
        EXPECT_EQ(state.ModelX[1], 10.0f);
        EXPECT_EQ(state.ModelX[2], 20.0f);
        EXPECT_EQ(state.ModelX[3], 30.0f);
        EXPECT_EQ(state.ModelY[1], 0.5f);
        EXPECT_EQ(state.ModelY[3], 3.0f);
    }
}

// The program keeps "Constrain" disabled until a run has filled the boxes; drawn inside empty
// boxes the values land around +-10^6 and stay finite.
TEST(GenerateModel, EmptyBoxesDrawAroundAMillion)
{
    EngineState state;
    for (int k = 1; k <= 6; ++k) {
        state.ConXMin[k] = state.ConYMin[k] = kEmptyLowerLimit;
        state.ConXMax[k] = state.ConYMax[k] = kEmptyUpperLimit;
    }
    RandomSource random;
    for (int call = 0; call < 100; ++call) {
        GenerateModel(state, {ModelFamily::Free4Segments, 1, 0.0f, 1.0f}, random);
        for (int k = 1; k <= 6; ++k) {
            ASSERT_LE(std::fabs(state.ModelX[k]), 1.2e6f);
            ASSERT_LE(std::fabs(state.ModelY[k]), 1.2e6f);
        }
    }
}

TEST(GenerateModel, ConstrainedEventWithDurationFlattensASteepPlateau)
{
    EngineState state;
    const float xs[7] = {0, 0, 1, 2, 3, 4, 5};
    for (int k = 1; k <= 6; ++k)
        state.ConXMin[k] = state.ConXMax[k] = xs[k];
    RandomSource random;

    // The plateau continues the rise more steeply: vertex 3 moves onto the line 2 -> 4.
    const float rising[7] = {0, 0, 0, 1, 4, 0, 0};
    for (int k = 1; k <= 6; ++k)
        state.ConYMin[k] = state.ConYMax[k] = rising[k];
    GenerateModel(state, {ModelFamily::EventWithDuration, 1, 0.0f, 1.0f}, random);
    EXPECT_EQ(state.ModelY[3], 2.0f);
    EXPECT_EQ(state.ModelY[4], 4.0f);

    // The plateau turns down more steeply than the fall: vertex 4 moves onto the line 3 -> 5.
    const float falling[7] = {0, 0, 0, 4, 0.5f, 0, 0};
    for (int k = 1; k <= 6; ++k)
        state.ConYMin[k] = state.ConYMax[k] = falling[k];
    GenerateModel(state, {ModelFamily::EventWithDuration, 1, 0.0f, 1.0f}, random);
    EXPECT_EQ(state.ModelY[3], 4.0f);
    EXPECT_EQ(state.ModelY[4], 2.0f);

    // Vertices 2 and 3 at the same x: the rise's slope divides by zero.
    state.ConXMin[3] = state.ConXMax[3] = 1.0f;
    for (int k = 1; k <= 6; ++k)
        state.ConYMin[k] = state.ConYMax[k] = rising[k];
    EXPECT_EQ(fault_of([&] {
                  GenerateModel(state, {ModelFamily::EventWithDuration, 1, 0.0f, 1.0f}, random);
              }),
              FaultKind::DivisionByZero);
}

TEST(GenerateModel, ManualWithoutBoxesLiesOnTheRightEdge)
{
    EngineState state = state_with_boxes();
    state.NodeCount = 0;
    RandomSource random;
    GenerateModel(state, {ModelFamily::ManualConstraint, 0, 2.0f, 8.0f}, random);
    EXPECT_EQ(state.ModelX[0], 10.0f);
    EXPECT_EQ(state.ModelY[0], 0.0f);
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(state.ModelX[k], 10.0f);
        EXPECT_EQ(state.ModelY[k], 0.0f);
    }
}

TEST(GenerateModel, ManualWithOneBoxPutsEveryVertexOnTheRightEdge)
{
    EngineState state = state_with_boxes();
    state.NodeCount = 1;
    RandomSource random;
    GenerateModel(state, {ModelFamily::ManualConstraint, 0, 2.0f, 8.0f}, random);
    for (int k = 1; k <= 6; ++k) {
        EXPECT_EQ(state.ModelX[k], 10.0f);
        EXPECT_EQ(state.ModelY[k], state.ModelY[1]);
    }
}

TEST(GenerateModel, ManualWithThreeBoxesSpansThePlot)
{
    EngineState state = state_with_boxes();
    state.NodeCount = 3;
    state.ManXMin[1] = 0.5f;  // the first box starts at the plot's left edge
    RandomSource random;
    for (int call = 0; call < 100; ++call) {
        GenerateModel(state, {ModelFamily::ManualConstraint, 0, 0.5f, 9.5f}, random);
        EXPECT_EQ(state.ModelX[1], 0.5f);
        EXPECT_EQ(state.ModelX[3], 10.0f);
        EXPECT_GE(state.ModelX[2], 1.75f - 0.05f);
        EXPECT_LE(state.ModelX[2], 2.25f + 0.05f);
        for (int k = 4; k <= 6; ++k) {
            EXPECT_EQ(state.ModelX[k], state.ModelX[3]);
            EXPECT_EQ(state.ModelY[k], state.ModelY[3]);
        }
    }
}

TEST(GenerateModel, ManualNodeCountOutsideTheTableFaults)
{
    EngineState state = state_with_boxes();
    RandomSource random;
    state.NodeCount = 7;
    EXPECT_EQ(fault_of([&] {
                  GenerateModel(state, {ModelFamily::ManualConstraint, 0, 0.0f, 1.0f}, random);
              }),
              FaultKind::IndexOutOfRange);
    state.NodeCount = -1;
    EXPECT_EQ(fault_of([&] {
                  GenerateModel(state, {ModelFamily::ManualConstraint, 1, 0.0f, 1.0f}, random);
              }),
              FaultKind::IndexOutOfRange);
}

TEST(ReorderPass, AnInversionTakesTheMean)
{
    Vertices x{0, 0, 5, 3, 6, 7, 8};
    reorder_vertices(x);
    EXPECT_EQ(x, (Vertices{0, 0, 4, 4, 6, 7, 8}));
}

TEST(ReorderPass, ThreeSweepsCanLeaveAnInversion)
{
    Vertices x{0, 10, 0, 0, 0, 0, 0};
    reorder_vertices(x);
    EXPECT_FALSE(std::is_sorted(x.begin() + 1, x.end()));
}

TEST(PlotScaling, MapsTheFirstVertexToTheLeftEdgeAndTheLastToTheRight)
{
    EngineState state;
    state.CropMinY = -2.0f;
    state.CropMaxY = 6.0f;
    RandomSource random;
    for (int call = 0; call < 200; ++call) {
        GenerateModel(state, {ModelFamily::SimpleRamp, 0, 5.0f, 20.0f}, random);
        scale_model_to_plot(state, 5.0f, 20.0f);
        ASSERT_EQ(state.ModelX[1], 5.0f);
        ASSERT_EQ(state.ModelX[4], 25.0f);
        ASSERT_EQ(state.ModelX[6], 25.0f);
        ASSERT_EQ(state.ModelY[5], state.ModelY[4]);
        ASSERT_GE(state.ModelY[1], -2.0f);
        ASSERT_LT(state.ModelY[1], 6.0f);
    }
}

TEST(PlotScaling, ALastVertexAtZeroFaults)
{
    EngineState state;
    EXPECT_EQ(fault_of([&] { scale_model_to_plot(state, 0.0f, 1.0f); }), FaultKind::Overflow);
    state.ModelX = {0, 1, 1, 1, 1, 1, 0};
    EXPECT_EQ(fault_of([&] { scale_model_to_plot(state, 0.0f, 1.0f); }),
              FaultKind::DivisionByZero);
}

TEST(PlotScaling, AppliesToFreeFamiliesButNotManual)
{
    EXPECT_TRUE(needs_plot_scaling({ModelFamily::SimpleRamp, 0, 0.0f, 1.0f}));
    EXPECT_TRUE(needs_plot_scaling({std::nullopt, 0, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({ModelFamily::ManualConstraint, 0, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({ModelFamily::SimpleRamp, 1, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({ModelFamily::SimpleRamp, 2, 0.0f, 1.0f}));
}

}  // namespace
