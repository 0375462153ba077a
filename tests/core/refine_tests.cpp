// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/refine.h"
#include "core/search/search.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tolvenar::refine {
namespace {

using test::state_over;

// Standard normal deviates by Box-Muller over mt19937, the same on every library.
std::vector<double> noise(std::size_t n, double sd, std::uint32_t seed)
{
    std::mt19937 engine(seed);
    const auto uniform = [&] { return (static_cast<double>(engine()) + 0.5) * 0x1p-32; };
    std::vector<double> e(n);
    for (auto& v : e)
        v = sd * std::sqrt(-2.0 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
    return e;
}

// The polyline through vertices 1..6 at t, written apart from the engine's own evaluation.
double polyline(double t, const std::array<double, 7>& x, const std::array<double, 7>& y)
{
    for (int k = 1; k < 6; ++k)
        if (t <= x[k + 1])
            return x[k + 1] == x[k] ? y[k + 1] : y[k] + (y[k + 1] - y[k]) * (t - x[k]) / (x[k + 1] - x[k]);
    return y[6];
}

struct Case {
    ModelFamily family;
    std::array<double, 7> x;       // the true curve; x1 = 0, the last vertex = 119
    std::array<double, 7> y;
    std::vector<std::vector<int>> levels;  // vertices sharing each level
};

// The smallest sum of squares over break points on the whole-number grid, with the levels
// solved exactly by normal equations in long double; `moved` lists the grid's vertices, a
// midway vertex (-3) follows x2 and x4.
struct Brute {
    double sq_dist = INFINITY;
    std::array<double, 7> x{};
};

Brute brute_force(const Case& c, const std::vector<double>& t, const std::vector<double>& y,
                  std::vector<int> moved, bool midway)
{
    Brute best;
    const std::size_t p = c.levels.size();
    std::array<double, 7> x = c.x;
    const auto evaluate = [&] {
        std::vector<std::vector<long double>> a(p, std::vector<long double>(p + 1, 0.0L));
        for (std::size_t i = 0; i < t.size(); ++i) {
            std::vector<long double> col(p);
            for (std::size_t j = 0; j < p; ++j) {
                std::array<double, 7> unit{};
                for (int k : c.levels[j])
                    unit[k] = 1.0;
                col[j] = polyline(t[i], x, unit);
            }
            for (std::size_t j = 0; j < p; ++j) {
                for (std::size_t k = 0; k < p; ++k)
                    a[j][k] += col[j] * col[k];
                a[j][p] += col[j] * y[i];
            }
        }
        for (std::size_t j = 0; j < p; ++j) {
            if (std::abs(a[j][j]) < 1e-12L)
                return;
            for (std::size_t r = j + 1; r < p; ++r) {
                const long double f = a[r][j] / a[j][j];
                for (std::size_t k = j; k <= p; ++k)
                    a[r][k] -= f * a[j][k];
            }
        }
        std::vector<long double> b(p);
        for (std::size_t j = p; j-- > 0;) {
            b[j] = a[j][p];
            for (std::size_t k = j + 1; k < p; ++k)
                b[j] -= a[j][k] * b[k];
            b[j] /= a[j][j];
        }
        std::array<double, 7> levels{};
        for (std::size_t j = 0; j < p; ++j)
            for (int k : c.levels[j])
                levels[k] = static_cast<double>(b[j]);
        double s = 0.0;
        for (std::size_t i = 0; i < t.size(); ++i)
            s += std::pow(y[i] - polyline(t[i], x, levels), 2);
        if (s < best.sq_dist)
            best = {s, x};
    };
    const std::function<void(std::size_t, double)> grid = [&](std::size_t i, double from) {
        if (i == moved.size()) {
            if (midway)
                x[3] = 0.5 * (x[2] + x[4]);
            evaluate();
            return;
        }
        for (double v = from + 1.0; v < 119.0; v += 1.0) {
            x[moved[i]] = v;
            grid(i + 1, v);
        }
    };
    grid(0, 0.0);
    return best;
}

struct Series {
    std::vector<double> t, y;
    EngineState state;
};

Series series_of(const Case& c, std::uint32_t seed)
{
    Series s;
    const std::vector<double> e = noise(120, 0.3, seed);
    for (int i = 0; i < 120; ++i) {
        s.t.push_back(i);
        s.y.push_back(polyline(i, c.x, c.y) + e[static_cast<std::size_t>(i)]);
    }
    s.state = state_over(s.t, s.y);
    s.state.NodeCount = node_count_of(c.family);
    // The engine scores against single-precision y: so does the brute force.
    for (double& v : s.y)
        v = static_cast<float>(v);
    return s;
}

// The search's best of best, as the window and the command line leave it.
Model searched(Series& s, ModelFamily family, int runs, int trials, std::vector<Model>* bests = nullptr)
{
    struct Bests final : SearchObserver {
        std::vector<Model>* out;
        void run_finished(const EngineState& st, std::int16_t) override
        {
            if (out)
                out->push_back({st.BestModelX, st.BestModelY});
        }
    } observer;
    observer.out = bests;
    for (int k = 1; k <= 6; ++k) {
        s.state.ConXMin[k] = s.state.ConYMin[k] = kEmptyLowerLimit;
        s.state.ConXMax[k] = s.state.ConYMax[k] = kEmptyUpperLimit;
    }
    s.state.BestOfBestSqDist = kUnsetBestOfBest;
    SearchSettings settings{family, 0, runs, trials, 0.0f, 119.0f};
    RandomSource random;
    SearchEngine().run(s.state, settings, random, observer);
    return {s.state.BestOfBestX, s.state.BestOfBestY};
}

const std::vector<Case> kCases{
    {ModelFamily::SimpleRamp, {0, 0, 40, 70, 119, 119, 119}, {0, 1, 1, 3, 3, 3, 3},
     {{1, 2}, {3, 4, 5, 6}}},
    {ModelFamily::Free3Segments, {0, 0, 30, 80, 119, 119, 119}, {0, 1, 2.5, 2, 0.5, 0.5, 0.5},
     {{1}, {2}, {3}, {4, 5, 6}}},
    {ModelFamily::SymmetricEvent, {0, 0, 30, 55, 80, 119, 119}, {0, 1, 1, 3, 1, 1, 1},
     {{1, 2, 4, 5, 6}, {3}}},
    {ModelFamily::AsymmetricEvent, {0, 0, 35, 50, 90, 119, 119}, {0, 1, 1, 3, 1, 1, 1},
     {{1, 2, 4, 5, 6}, {3}}},
};

std::vector<int> moved_of(ModelFamily f)
{
    switch (f) {
    case ModelFamily::SimpleRamp:
    case ModelFamily::Free3Segments: return {2, 3};
    case ModelFamily::SymmetricEvent: return {2, 4};
    default: return {2, 3, 4};
    }
}

TEST(Refine, ReachesTheGridOptimumFromAShortSearch)
{
    for (const Case& c : kCases) {
        Series s = series_of(c, 11);
        const Model start = searched(s, c.family, 2, 200);
        const RefinedFit fit = refine_fit(s.state, {c.family, false, start, {}});
        const Brute brute =
            brute_force(c, s.t, s.y, moved_of(c.family), c.family == ModelFamily::SymmetricEvent);
        const std::string name(family_caption(c.family));
        EXPECT_TRUE(fit.improved) << name;
        // Single-precision vertices and sums cost a few parts in a million at most.
        EXPECT_LE(fit.sq_dist, brute.sq_dist * (1.0 + 1e-5)) << name;
        for (int k : moved_of(c.family))
            EXPECT_NEAR(fit.model.x[k], brute.x[k], 1.0) << name << " X" << k;
        EXPECT_EQ(fit.model.x[1], start.x[1]) << name;
        EXPECT_EQ(fit.model.x[6], start.x[6]) << name;
        for (const auto& group : c.levels)
            for (int k : group)
                EXPECT_EQ(fit.model.y[k], fit.model.y[group.front()]) << name << " Y" << k;
        for (int k = 2; k <= 6; ++k)
            EXPECT_LE(fit.model.x[k - 1], fit.model.x[k]) << name << " X" << k;
    }
}

TEST(Refine, KeepsTheConstrainedBoxesAndTheFamilyTies)
{
    struct Boxed {
        Case c;
        int vertex;          // a break point whose box excludes its optimum
        float lo, hi;        // that box: widened by a tenth a side, x stays in [lo - 0.5, hi + 0.5]
        float level_lo, level_hi;  // vertex 1's y box, likewise
    };
    for (const Boxed& b : std::vector<Boxed>{{kCases[0], 2, 30.0f, 35.0f, 0.5f, 0.6f},
                                             {kCases[2], 4, 85.0f, 90.0f, 0.9f, 1.4f}}) {
        Series s = series_of(b.c, 5);
        const Model start = searched(s, b.c.family, 2, 300);
        for (int k = 1; k <= 6; ++k) {  // wide boxes everywhere but the two tested
            s.state.ConXMin[k] = 0.0f;
            s.state.ConXMax[k] = 119.0f;
            s.state.ConYMin[k] = -10.0f;
            s.state.ConYMax[k] = 10.0f;
        }
        s.state.ConXMin[b.vertex] = b.lo;
        s.state.ConXMax[b.vertex] = b.hi;
        s.state.ConYMin[1] = b.level_lo;
        s.state.ConYMax[1] = b.level_hi;
        Model inside = start;  // a start the constrained search could have drawn
        inside.x[b.vertex] = b.hi;
        inside.y[1] = inside.y[2] = b.level_hi;
        for (int k = 4; k <= 6 && b.c.family != ModelFamily::SimpleRamp; ++k)
            inside.y[k] = b.level_hi;
        if (b.c.family == ModelFamily::SymmetricEvent)
            inside.x[3] = (inside.x[2] + inside.x[4]) / 2.0f;
        const RefinedFit fit = refine_fit(s.state, {b.c.family, true, inside, {}});
        const float spread = (b.hi - b.lo) / 10.0f, level_spread = (b.level_hi - b.level_lo) / 10.0f;
        const std::string name(family_caption(b.c.family));
        EXPECT_TRUE(fit.improved) << name;
        EXPECT_GE(fit.model.x[b.vertex], b.lo - spread - 1e-4f) << name;
        EXPECT_LE(fit.model.x[b.vertex], b.hi + spread + 1e-4f) << name;
        EXPECT_GE(fit.model.y[1], b.level_lo - level_spread - 1e-6f) << name;
        EXPECT_LE(fit.model.y[1], b.level_hi + level_spread + 1e-6f) << name;
        for (int k : b.c.levels[0])
            EXPECT_EQ(fit.model.y[k], fit.model.y[1]) << name << " Y" << k;
        if (b.c.family == ModelFamily::SymmetricEvent)
            EXPECT_EQ(fit.model.x[3], (fit.model.x[2] + fit.model.x[4]) / 2.0f);
    }
}

TEST(Refine, NeverReturnsAModelWorseThanItsStart)
{
    Series s = series_of(kCases[3], 3);
    std::vector<Model> bests;
    const Model searched_best = searched(s, kCases[3].family, 4, 300, &bests);
    const RefinedFit optimum = refine_fit(s.state, {kCases[3].family, false, searched_best, bests});
    Model far = searched_best;  // a poor start in another basin: the restarts find the optimum
    far.x[2] = 5.0f, far.x[3] = 8.0f, far.x[4] = 10.0f;
    struct Start {
        Model start;
        std::vector<Model> restarts;
        bool improves;
    };
    for (const Start& c : std::vector<Start>{{optimum.model, {}, false},
                                             {far, {searched_best}, true},
                                             {searched_best, bests, true}}) {
        const RefinedFit start_only = refine_fit(s.state, {kCases[3].family, false, c.start, {}});
        const RefinedFit fit = refine_fit(s.state, {kCases[3].family, false, c.start, c.restarts});
        EXPECT_EQ(fit.improved, c.improves);
        EXPECT_LE(fit.sq_dist, start_only.sq_dist);
        EXPECT_LE(fit.sq_dist, optimum.sq_dist * (1.0f + 1e-6f));
        if (!fit.improved)
            EXPECT_EQ(fit.model.x, c.start.x);
    }
    EXPECT_EQ(optimum.measure, family_measure(ModelFamily::AsymmetricEvent, optimum.model.x));
}

}  // namespace
}  // namespace tolvenar::refine
