// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/engine_state.h"
#include "core/model/generate.h"
#include "core/runtime/numbers.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

using namespace tolvenar;
using namespace tolvenar::test;

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
    using Drawn = std::function<Model(const Draws& u, const Draws& level, const Vertices& y)>;
    const struct { ModelFamily family; std::uint64_t draws; Drawn expected; } cases[] = {
        {F::Free4Segments, 9, [](auto& u, auto& l, auto&) {
             return Model{steps(u, 4), {l[4], l[5], l[6], l[7], l[8], l[8]}}; }},
        {F::AsymmetricEvent, 6, [](auto& u, auto& l, auto&) {
             return Model{steps(u, 4), {u[4], u[4], l[5], u[4], u[4], u[4]}}; }},
        {F::SymmetricEvent, 5, [](auto& u, auto& l, auto&) {  // x4 mirrors x2 about x3
             const float x2 = u[0], x3 = x2 + u[1], x4 = x3 + x3 - x2, x5 = x4 + u[2];
             return Model{{0, x2, x3, x4, x5, x5}, {u[3], u[3], l[4], u[3], u[3], u[3]}}; }},
        {F::SimpleRamp, 5, [](auto& u, auto&, auto&) {
             return Model{steps(u, 3), {u[3], u[3], u[4], u[4], u[4], u[4]}}; }},
        {F::Free3Segments, 7, [](auto& u, auto& l, auto&) {
             return Model{steps(u, 3), {l[3], l[4], l[5], l[6], l[6], l[6]}}; }},
        {F::EventWithDuration, 8, [](auto& u, auto& l, auto& y) {  // y3, y4: the plateau rule's
             return Model{steps(u, 5), {l[5], l[5], y[3], y[4], l[5], l[5]}}; }}};
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
            const auto what = ::testing::Message() << family_caption(c.family) << ", call " << call;
            ASSERT_EQ(random.draws() - before, c.draws) << what;
            ASSERT_EQ(Model(six(state.ModelX), six(state.ModelY)),
                      c.expected(u, levels, state.ModelY)) << what;
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
    const Six ramp = {0, 1, 2, 3, 4, 5};
    const Six edge = {100, 100, 100, 100, 100, 100};
    const struct { std::optional<ModelFamily> family; std::int16_t constrain, nodes;
                   Six box_x, box_y; std::uint64_t draws; Model want;
                   std::optional<FaultKind> fault; } cases[] = {
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
        {F::EventWithDuration, 1, 6, xs, {1, 2, 3, 0.5f, 5, 6}, 7,  // steep, falling the other way
         {xs, {1, 1, 3, 0.5f, 1, 1}}},
        {F::EventWithDuration, 1, 6, ramp, steep, 7, {ramp, {0, 0, 2, 4, 0, 0}}},  // y3 onto 2-4
        {F::EventWithDuration, 1, 6, ramp, {0, 0, 4, 0.5f, 0, 0}, 7, {ramp, {0, 0, 4, 2, 0, 0}}},
        {F::EventWithDuration, 1, 6, {0, 1, 1, 3, 4, 5}, steep, 7, {}, FaultKind::DivisionByZero},
        // Manual boxes, free: vertex `nodes` on the plot's right edge (0 + 100), the rest copy
        // it; without boxes the copy starts from vertex 0.
        {F::ManualConstraint, 0, 3, xs, ys, 10, {{10, 20, 100, 100, 100, 100}, {1, 2, 3, 3, 3, 3}}},
        {F::ManualConstraint, 0, 1, xs, ys, 10, {edge, {1, 1, 1, 1, 1, 1}}},
        {F::ManualConstraint, 0, 0, xs, ys, 10, {edge, {}}},
        {F::ManualConstraint, 0, 7, xs, ys, 10, {}, FaultKind::IndexOutOfRange},
        // Greyed "Constrain" or no family: nothing drawn; constrained, the reorder pass runs.
        {F::SimpleRamp, 2, 6, xs, ys, 0, {{1, 3, 2, 4, 5, 6}, ys}},
        {std::nullopt, 0, 6, xs, ys, 0, {{1, 3, 2, 4, 5, 6}, ys}},
        {std::nullopt, 1, 6, xs, ys, 0, {{1, 2.5f, 2.5f, 4, 5, 6}, ys}}};
    for (const auto& c : cases) {
        EngineState s;
        set_model(s, {1, 3, 2, 4, 5, 6}, ys);
        for (int k = 1; k <= 6; ++k) {
            s.ConXMin[k] = s.ConXMax[k] = s.ManXMin[k] = s.ManXMax[k] = c.box_x[k - 1];
            s.ConYMin[k] = s.ConYMax[k] = s.ManYMin[k] = s.ManYMax[k] = c.box_y[k - 1];
        }
        s.NodeCount = c.nodes;
        RandomSource random;
        const auto what = ::testing::Message() << (c.family ? family_caption(*c.family) : "none")
                                                << ", constrain " << c.constrain << ", " << c.nodes;
        EXPECT_EQ(fault_of([&] { GenerateModel(s, {c.family, c.constrain, 0, 100}, random); }),
                  c.fault) << what;
        EXPECT_EQ(random.draws(), c.draws) << what;
        if (!c.fault)
            EXPECT_EQ((Model{six(s.ModelX), six(s.ModelY)}), c.want) << what;
    }
}

// A free "Event with duration" whose x3 = x2 divides by zero after its last draw, so it takes
// the draws of any other candidate and the stream stays in step with the trials.
TEST(GenerateModel, ACandidateWithCoincidingBreakPointsTakesItsFamilysDraws)
{
    RandomSource random = random_with_zero_as_draw(2);
    const std::uint64_t before = random.draws();
    EngineState state;
    try {
        GenerateModel(state, {F::EventWithDuration, 0, 0.0f, 1.0f}, random);
        ADD_FAILURE() << "no fault";
    } catch (const Fault& fault) {
        EXPECT_TRUE(fault.is_zero_divisor());
    }
    EXPECT_EQ(state.ModelX[3], state.ModelX[2]);
    EXPECT_EQ(random.draws() - before, 8u);
}

TEST(ConstraintBoxes, ForgottenBoxesWidenFromEmptyToEncloseEachRunsBest)
{
    EngineState state;
    forget_best_of_best(state);
    state.BestModelX = {0, 1, 2, 3, 4, 5, 6};
    widen_constraint_boxes(state);  // an empty box takes the vertex itself
    state.BestModelX = {9, 0, 3, 2, 5, 4, 7};
    widen_constraint_boxes(state);
    EXPECT_EQ(std::pair(state.ConXMin, state.ConXMax),
              std::pair(Vertices{0, 0, 2, 2, 4, 4, 6}, Vertices{0, 1, 3, 3, 5, 5, 7}));
}

TEST(ReorderPass, ThreeSweepsOfMeans)
{
    const std::pair<Vertices, Vertices> cases[] = {
        {{0, 0, 5, 3, 6, 7, 8}, {0, 0, 4, 4, 6, 7, 8}},
        // A fourth sweep would move these again: three leave inversions.
        {{0, 10, 0, 0, 0, 0, 0},
         {0, 3.125f, 2.34375f, 1.640625f, 1.1328125f, 0.87890625f, 0.87890625f}}};
    for (auto [x, reordered] : cases) {
        reorder_vertices(x);
        EXPECT_EQ(x, reordered);
    }
}

TEST(PlotScaling, MapsStepsIntoTheWindowAndLevelsIntoTheMeasuredRange)
{
    const std::pair<Six, std::optional<FaultKind>> cases[] = {
        {{0, 1, 2, 4, 4, 4}, {}}, {{0, 1, 1, 1, 1, 0}, FaultKind::Overflow},  // 0 / 0 at vertex 1
        {{1, 1, 1, 1, 1, 0}, FaultKind::DivisionByZero}};
    const std::pair<Vertices, Vertices> scaled = {{0, 5, 10, 15, 25, 25, 25},  // x, then y
                                                  {0, -2, 2, 6, 0, -4, -2}};
    for (const auto& [x, fault] : cases) {
        EngineState state{.CropMaxY = 6.0f, .CropMinY = -2.0f};
        set_model(state, x, {0, 0.5f, 1, 0.25f, -0.25f, 0});
        EXPECT_EQ(fault_of([&] { scale_model_to_plot(state, 5.0f, 20.0f); }), fault);
        if (!fault)  // vertex 0 takes no part
            EXPECT_EQ(std::pair(state.ModelX, state.ModelY), scaled);
    }
    // Only free candidates of a family other than "Manual constraint" are scaled.
    const auto scales = [](std::optional<F> family, std::int16_t constrain) {
        return needs_plot_scaling({family, constrain});
    };
    EXPECT_TRUE(scales(F::SimpleRamp, 0) && scales(std::nullopt, 0));
    EXPECT_FALSE(scales(F::ManualConstraint, 0) || scales(F::SimpleRamp, 1));
}

}  // namespace
