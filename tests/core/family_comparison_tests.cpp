// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/noise.h"
#include "core/session/family_comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

using namespace tolvenar;

namespace {

constexpr std::size_t kPoints = 150;

// The polyline through (x, y) at t: flat beyond its ends.
double polyline(const std::vector<std::pair<double, double>>& v, double t)
{
    if (t <= v.front().first)
        return v.front().second;
    for (std::size_t k = 1; k < v.size(); ++k)
        if (t <= v[k].first)
            return v[k - 1].second + (t - v[k - 1].first) / (v[k].first - v[k - 1].first) *
                                         (v[k].second - v[k - 1].second);
    return v.back().second;
}

// kPoints at t = 0, 1, ...: the curve plus white (phi 0) or AR(1) noise of unit innovations.
std::pair<std::vector<double>, std::vector<double>> series(
    const std::vector<std::pair<double, double>>& curve, double phi, std::uint64_t seed)
{
    std::vector<double> t(kPoints);
    std::iota(t.begin(), t.end(), 0.0);
    std::mt19937_64 random(seed);
    std::vector<double> y = compare::simulate_noise(t, {0.0, 1.0, phi, std::nullopt, 2}, {}, random);
    for (std::size_t i = 0; i < kPoints; ++i)
        y[i] += polyline(curve, t[i]);
    return {t, y};
}

ComparisonRequest request_of(std::size_t replicates, unsigned threads = 2)
{
    ComparisonRequest request;
    request.right = static_cast<double>(kPoints - 1);
    request.replicates = replicates;
    request.threads = threads;
    return request;
}

}  // namespace

TEST(FamilyComparison, AnOptimumsCurveTakesTheRightSideOfAJump)
{
    // A jump at the left edge (X1 = X2), one within (X3 = X4) whose own x takes the curve up to
    // it, as the fit's sum of squares does, and a plateau to 10, flat past it.
    const FamilyOptimum o{ModelFamily::Free4Segments, {0, 0, 0, 4, 4, 10, 10}, {0, 1, 2, 6, 3, 5, 5}};
    for (const auto& [t, y] : {std::pair{0.0, 2.0}, {2.0, 4.0}, {4.0, 6.0}, {7.0, 4.0}, {10.0, 5.0}, {12.0, 5.0}})
        EXPECT_EQ(optimum_at(o, t), y) << t;
}

TEST(FamilyComparison, EachFamilysOwnCurveIsAssignedItsFamilyUnderWhiteAndRedNoise)
{
    struct Case { const char* family; std::vector<std::pair<double, double>> curve; };
    // Events of 10 to 20 innovations' standard deviations: at half that, on 150 points, an AR(1)
    // constant whose coefficient nears 1 can take the smooth curve of "free4" for noise.
    const std::vector<Case> cases{
        {"ramp", {{50, 0}, {90, 16}}},
        {"symmetric", {{40, 0}, {75, 16}, {110, 0}}},
        {"asymmetric", {{40, 0}, {60, 16}, {120, 0}}},
        {"duration", {{30, 0}, {50, 16}, {100, 10}, {120, 0}}},
        {"free3", {{0, 0}, {50, 20}, {100, 4}, {149, 12}}},
        {"free4", {{0, 0}, {40, 16}, {80, 0}, {110, 16}, {149, 4}}}};
    for (const Case& c : cases)
        for (const double phi : {0.0, 0.6}) {
            const auto [t, y] = series(c.curve, phi, 7);
            const FamilyComparison got = compare_crop(t, y, {}, request_of(39));
            EXPECT_EQ(got.chosen().name, c.family) << "phi " << phi;
            EXPECT_EQ(got.optima.size(), 6u);
            ASSERT_TRUE(got.comparison.test.has_value());
            EXPECT_LT(got.comparison.test->p, 0.05);
        }
}

TEST(FamilyComparison, RedNoiseAboutALineOrAConstantIsRarelyAnEvent)
{
    int events = 0;
    for (std::uint64_t seed = 0; seed < 8; ++seed) {
        const double slope = seed % 2 ? 0.03 : 0.0;
        const auto [t, y] = series({{0, 0}, {149, 149 * slope}}, 0.6, 100 + seed);
        const FamilyComparison got = compare_crop(t, y, {}, request_of(39));
        events += got.chosen_family().has_value();
    }
    EXPECT_LE(events, 1);
}

TEST(FamilyComparison, CountsItsStepsKeepsEachOptimumsResidualsAndStops)
{
    const auto [t, y] = series({{40, 0}, {60, 3}, {120, 0}}, 0.6, 3);
    std::atomic<std::size_t> done{0};
    ComparisonRequest one = request_of(9, 1);
    one.done = &done;
    FamilyComparison a = compare_crop(t, y, {}, one);
    EXPECT_EQ(done.load(), comparison_steps(one));
    EXPECT_FALSE(a.stopped);
    // The records' residuals are those of each optimum's curve: its sum of squares.
    for (const FamilyOptimum& o : a.optima) {
        double ss = 0.0;
        for (std::size_t i = 0; i < t.size(); ++i)
            ss += (y[i] - optimum_at(o, t[i])) * (y[i] - optimum_at(o, t[i]));
        EXPECT_NEAR(ss, o.sq_dist, 1e-9 * ss);
        for (const compare::ModelRecord& m : a.comparison.models)
            if (m.name == family_row(o.family).short_name)
                EXPECT_NEAR(m.sum_of_squares, ss, 1e-9 * ss);
    }
    // Each family's optimum, and its scored fit while there is one beside it.
    a.fits.resize(2);
    for (std::size_t i = 0; i < a.optima.size(); ++i) {
        EXPECT_EQ(a.optimum(a.optima[i].family), &a.optima[i]);
        EXPECT_EQ(a.fit(a.optima[i].family), i < 2 ? &a.fits[i] : nullptr);
    }
    const std::atomic<bool> stop{true};
    ComparisonRequest stopped = request_of(9);
    stopped.stop = &stop;
    const FamilyComparison none = compare_crop(t, y, {}, stopped);
    EXPECT_TRUE(none.stopped && none.optima.empty() && !none.comparison.test);
    EXPECT_TRUE(!none.optimum(ModelFamily::SimpleRamp) && !none.fit(ModelFamily::SimpleRamp));
}
