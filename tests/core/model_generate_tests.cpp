// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/boxes.h"
#include "core/model/generate.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <utility>

using namespace tolvenar;
using tolvenar::test::fault_of;
using tolvenar::test::set_model;

namespace {

using F = ModelFamily;
using Six = std::array<float, 6>;  // vertices 1..6
using Model = std::pair<Six, Six>;  // x and y
using Draws = std::array<float, 10>;

// A level draw: 1.6 U - 0.3, the 1.6 held in single, the rest in double, stored as single.
float level(float u) { return to_single(static_cast<double>(1.6f * u) - 0.3); }

Six six(const Vertices& v) { return {v[1], v[2], v[3], v[4], v[5], v[6]}; }

// Vertex 1 at 0, then `n` steps of the draws u[0], u[1], ...; later vertices copy the last.
Six steps(const Draws& u, int n)
{
    Six x{};
    for (int k = 1; k < 6; ++k)
        x[k] = k <= n ? x[k - 1] + u[k - 1] : x[k - 1];
    return x;
}

// Free candidates in steps and levels from the call's draws u[0], u[1], ..., and the number of
// draws, which the window and the command line share.
TEST(GenerateModel, FreeFamiliesPlaceTheirDraws)
{
    constexpr float kPlateau = NAN;  // the plateau rule's levels, not checked here
    const struct { ModelFamily family; std::uint64_t draws;
                   std::function<Model(const Draws& u, const Draws& level)> expected; } cases[] = {
        {F::Free4Segments, 9, [](auto& u, auto& l) {
             return Model{steps(u, 4), {l[4], l[5], l[6], l[7], l[8], l[8]}}; }},
        {F::AsymmetricEvent, 6, [](auto& u, auto& l) {
             return Model{steps(u, 4), {u[4], u[4], l[5], u[4], u[4], u[4]}}; }},
        {F::SymmetricEvent, 5, [](auto& u, auto& l) {  // x4 mirrors x2 about x3
             const float x2 = u[0], x3 = x2 + u[1], x4 = x3 + x3 - x2, x5 = x4 + u[2];
             return Model{{0, x2, x3, x4, x5, x5}, {u[3], u[3], l[4], u[3], u[3], u[3]}}; }},
        {F::SimpleRamp, 5, [](auto& u, auto&) {
             return Model{steps(u, 3), {u[3], u[3], u[4], u[4], u[4], u[4]}}; }},
        {F::Free3Segments, 7, [](auto& u, auto& l) {
             return Model{steps(u, 3), {l[3], l[4], l[5], l[6], l[6], l[6]}}; }},
        {F::EventWithDuration, 8, [](auto& u, auto& l) {
             return Model{steps(u, 5), {l[5], l[5], kPlateau, kPlateau, l[5], l[5]}}; }},
    };
    RandomSource random;
    EngineState state;
    for (int call = 0; call < 300; ++call) {
        for (const auto& c : cases) {
            RandomSource replay = random;
            Draws u{}, levels{};
            for (std::size_t i = 0; i < u.size(); ++i)
                levels[i] = level(u[i] = replay.next());
            const std::uint64_t before = random.draws();
            GenerateModel(state, {c.family, 0, 0.0f, 1.0f}, random);
            const auto [x, y] = c.expected(u, levels);
            const auto what = ::testing::Message() << family_caption(c.family) << ", call " << call;
            ASSERT_EQ(random.draws() - before, c.draws) << what;
            ASSERT_EQ(six(state.ModelX), x) << what;
            for (int k = 1; k <= 6; ++k)
                if (!std::isnan(y[k - 1]))
                    ASSERT_EQ(state.ModelY[k], y[k - 1]) << what << " y" << k;
        }
    }
}

// Constrained and manual candidates inside boxes of zero width, where every value is a box
// limit, with the number of draws they take.
TEST(GenerateModel, BoxedFamiliesTakeTheirLimits)
{
    const Six xs = {10, 20, 30, 40, 50, 60};
    const Six ys = {1, 2, 3, 4, 5, 6};
    const Six steep = {0, 0, 1, 4, 0, 0};
    const std::optional<FaultKind> none;
    const struct { std::optional<ModelFamily> family; std::int16_t constrain, nodes; Six box_x, box_y;
                   std::uint64_t draws; Model want; std::optional<FaultKind> fault; } cases[] = {
        {F::Free4Segments, 1, 6, xs, ys, 8, {{10, 20, 30, 40, 50, 50}, {1, 2, 3, 4, 5, 5}}},
        {F::Free3Segments, 1, 6, xs, ys, 6, {{10, 20, 30, 40, 40, 40}, {1, 2, 3, 4, 4, 4}}},
        {F::AsymmetricEvent, 1, 6, xs, ys, 5, {{10, 20, 30, 40, 50, 50}, {1, 1, 3, 1, 1, 1}}},
        {F::SymmetricEvent, 1, 6, {10, 20, 35, 40, 50, 60}, ys, 4,  // x3 the mean of x2 and x4
         {{10, 20, 30, 40, 50, 50}, {1, 1, 3, 1, 1, 1}}},
        {F::SimpleRamp, 1, 6, xs, ys, 4, {{10, 20, 30, 40, 40, 40}, {1, 1, 3, 3, 3, 3}}},
        {F::AsymmetricEvent, 1, 6, {10, 30, 20, 40, 50, 60}, ys, 5,  // the reorder pass
         {{10, 25, 25, 40, 50, 50}, {1, 1, 3, 1, 1, 1}}},
        {F::ManualConstraint, 1, 3, xs, ys, 10, {{10, 20, 30, 30, 30, 30}, {1, 2, 3, 3, 3, 3}}},
        {F::ManualConstraint, 1, -1, xs, ys, 10, {}, FaultKind::IndexOutOfRange},
        // "Event with duration": a plateau no steeper than its neighbour running the same way.
        {F::EventWithDuration, 1, 6, xs, {1, 2, 3, 2.5f, 5, 6}, 7, {xs, {1, 1, 3, 2.5f, 1, 1}}},
        {F::EventWithDuration, 1, 6, xs, {1, 2, 3, 0.5f, 5, 6}, 7,  // steep, but falls the other way
         {xs, {1, 1, 3, 0.5f, 1, 1}}},
        {F::EventWithDuration, 1, 6, {0, 1, 2, 3, 4, 5}, steep, 7,  // y3 onto the line 2-4
         {{0, 1, 2, 3, 4, 5}, {0, 0, 2, 4, 0, 0}}},
        {F::EventWithDuration, 1, 6, {0, 1, 2, 3, 4, 5}, {0, 0, 4, 0.5f, 0, 0}, 7,  // y4 onto 3-5
         {{0, 1, 2, 3, 4, 5}, {0, 0, 4, 2, 0, 0}}},
        {F::EventWithDuration, 1, 6, {0, 1, 1, 3, 4, 5}, steep, 7, {}, FaultKind::DivisionByZero},
        // Manual boxes, free: vertex `nodes` on the plot's right edge (0 + 100), the rest copy
        // it; without boxes the copy starts from vertex 0.
        {F::ManualConstraint, 0, 3, xs, ys, 10, {{10, 20, 100, 100, 100, 100}, {1, 2, 3, 3, 3, 3}}},
        {F::ManualConstraint, 0, 1, xs, ys, 10, {{100, 100, 100, 100, 100, 100}, {1, 1, 1, 1, 1, 1}}},
        {F::ManualConstraint, 0, 0, xs, ys, 10, {{100, 100, 100, 100, 100, 100}, {}}},
        {F::ManualConstraint, 0, 7, xs, ys, 10, {}, FaultKind::IndexOutOfRange},
        // Greyed "Constrain" or no family: nothing drawn; constrained, the reorder pass runs.
        {F::SimpleRamp, 2, 6, xs, ys, 0, {{1, 3, 2, 4, 5, 6}, ys}},
        {std::nullopt, 0, 6, xs, ys, 0, {{1, 3, 2, 4, 5, 6}, ys}},
        {std::nullopt, 1, 6, xs, ys, 0, {{1, 2.5f, 2.5f, 4, 5, 6}, ys}},
    };
    for (const auto& c : cases) {
        EngineState state;
        set_model(state, {1, 3, 2, 4, 5, 6}, ys);
        for (int k = 1; k <= 6; ++k) {
            state.ConXMin[k] = state.ConXMax[k] = state.ManXMin[k] = state.ManXMax[k] = c.box_x[k - 1];
            state.ConYMin[k] = state.ConYMax[k] = state.ManYMin[k] = state.ManYMax[k] = c.box_y[k - 1];
        }
        state.NodeCount = c.nodes;
        RandomSource random;
        const auto what = ::testing::Message() << (c.family ? family_caption(*c.family) : "none")
                                                << ", constrain " << c.constrain << ", " << c.nodes;
        EXPECT_EQ(fault_of([&] { GenerateModel(state, {c.family, c.constrain, 0, 100}, random); }),
                  c.fault) << what;
        EXPECT_EQ(random.draws(), c.draws) << what;
        if (c.fault == none)
            EXPECT_EQ((Model{six(state.ModelX), six(state.ModelY)}), c.want) << what;
    }
}

// Forgotten boxes are empty; each run's best vertices then widen them.
TEST(ConstraintBoxes, WidenFromEmptyToEnclose)
{
    EngineState state;
    forget_best_of_best(state);
    state.BestModelX = {0, 1, 2, 3, 4, 5, 6};
    widen_constraint_boxes(state);  // an empty box takes the vertex itself
    state.BestModelX = {9, 0, 3, 2, 5, 4, 7};
    widen_constraint_boxes(state);
    EXPECT_EQ(state.ConXMin, (Vertices{0, 0, 2, 2, 4, 4, 6}));
    EXPECT_EQ(state.ConXMax, (Vertices{0, 1, 3, 3, 5, 5, 7}));
    EXPECT_EQ(state.ConYMin, Vertices{});
    EXPECT_EQ(state.ConYMax, Vertices{});
}

TEST(ReorderPass, ThreeSweepsOfMeans)
{
    const std::pair<Vertices, Vertices> cases[] = {
        {{0, 0, 5, 3, 6, 7, 8}, {0, 0, 4, 4, 6, 7, 8}},
        {{0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6}},
        // A fourth sweep would move these again: three leave inversions.
        {{0, 10, 0, 0, 0, 0, 0}, {0, 3.125f, 2.34375f, 1.640625f, 1.1328125f, 0.87890625f, 0.87890625f}},
    };
    for (auto [x, reordered] : cases) {
        reorder_vertices(x);
        EXPECT_EQ(x, reordered);
    }
}

TEST(PlotScaling, MapsStepsIntoTheWindowAndLevelsIntoTheMeasuredRange)
{
    const struct { Six x; float left, width; Six scaled_x; std::optional<FaultKind> fault; } cases[] = {
        {{0, 1, 2, 4, 4, 4}, 5, 20, {5, 10, 15, 25, 25, 25}},
        {{0, 1, 1, 1, 1, 0}, 0, 1, {}, FaultKind::Overflow},  // 0 / 0 at vertex 1
        {{1, 1, 1, 1, 1, 0}, 0, 1, {}, FaultKind::DivisionByZero},
        {{0, 1, 1, 1, 1, 1}, 3e38f, 3e38f, {}, FaultKind::Overflow},
    };
    for (const auto& c : cases) {
        EngineState state;
        state.CropMinY = -2.0f;
        state.CropMaxY = 6.0f;
        set_model(state, c.x, {0, 0.5f, 1, 0.25f, -0.25f, 0});
        EXPECT_EQ(fault_of([&] { scale_model_to_plot(state, c.left, c.width); }), c.fault);
        if (!c.fault)
            EXPECT_EQ((Model{six(state.ModelX), six(state.ModelY)}),
                      (Model{c.scaled_x, {-2, 2, 6, 0, -4, -2}}));
    }
    // Only free candidates of a family other than "Manual constraint" are scaled.
    EXPECT_TRUE(needs_plot_scaling({F::SimpleRamp, 0, 0.0f, 1.0f}));
    EXPECT_TRUE(needs_plot_scaling({std::nullopt, 0, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({F::ManualConstraint, 0, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({F::SimpleRamp, 1, 0.0f, 1.0f}));
    EXPECT_FALSE(needs_plot_scaling({F::SimpleRamp, 2, 0.0f, 1.0f}));
}

}  // namespace
