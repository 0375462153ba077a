// SPDX-License-Identifier: GPL-3.0-or-later
// The bootstrap's intervals hold the true break points as often as their level says, over
// simulated series of each kind (fixed seeds): a wrong quantile, scale or resampling shows here
// as coverage outside the binomial spread of the level.
#include "core/job/fit_job.h"
#include "core/model/family.h"
#include "core/refine/refine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace tolvenar {
namespace {

struct Kind {
    ModelFamily family;
    std::vector<double> x, y;  // the true polyline: vertices' x as shares of the span, their y
    double phi = 0.0;          // the noise's correlation over one mean spacing (0: white)
    bool uneven = false;       // gaps drawn from 0.4..1.6, else x = 0, 1, ...
};

// A series of `kind` over x = 0..points-1 (even) or its span (uneven), noise of sd `sd`: a
// continuous-time AR(1) of correlation phi^gap between neighbours.
std::pair<std::vector<double>, std::vector<double>> series_of(const Kind& kind, int points,
                                                              double sd, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> gap(0.4, 1.6);
    std::vector<double> x(static_cast<std::size_t>(points)), y(x.size());
    for (std::size_t i = 1; i < x.size(); ++i)
        x[i] = x[i - 1] + (kind.uneven ? gap(random) : 1.0);
    const double scale = (points - 1) / x.back();
    double e = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] *= scale;
        const double a = i > 0 ? std::pow(kind.phi, x[i] - x[i - 1]) : 0.0;
        e = a * e + std::sqrt(1.0 - a * a) * normal(random);
        const double share = x[i] / (points - 1);
        std::size_t k = 0;
        while (k + 2 < kind.x.size() && share > kind.x[k + 1])
            ++k;
        y[i] = kind.y[k] + (kind.y[k + 1] - kind.y[k]) * (share - kind.x[k]) /
                               (kind.x[k + 1] - kind.x[k]) + sd * e;
    }
    return {x, y};
}

TEST(Intervals, HoldTheTrueBreakPointsAsOftenAsTheirLevelSays)
{
    constexpr int kSeries = 150, kPoints = 60;
    using F = ModelFamily;
    for (const Kind& kind : {Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}},
                             Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}, 0.6, true},
                             Kind{F::AsymmetricEvent, {0, 0.3, 0.45, 0.7, 1}, {0, 0, 1, 0, 0}},
                             Kind{F::SymmetricEvent, {0, 0.3, 0.5, 0.7, 1}, {0, 0, 1, 0, 0},
                                  0.0, true},
                             Kind{F::Free3Segments, {0, 0.35, 0.65, 1}, {0, 0.1, 1, 1.1}}}) {
        const std::string name = std::string(family_caption(kind.family)) +
                                  (kind.phi > 0.0 ? ", AR(1)" : ", white") +
                                  (kind.uneven ? ", uneven" : ", even");
        const FamilyShape shape = family_shape(kind.family, 0);
        std::mt19937_64 random(11);
        std::vector<int> held(7, 0);
        for (int s = 0; s < kSeries; ++s) {
            const auto [x, y] = series_of(kind, kPoints, 0.15, random);
            FitRequest request;
            request.family = kind.family;
            request.searches = {{"4", "300", false}};
            request.bootstrap = 100;
            request.seed = static_cast<std::uint32_t>(s + 1);
            JobControl control;
            control.threads = 2;
            const FitRecord record = fit_series(import_data_arrays(x, y), request, "", control);
            ASSERT_EQ(record.code, kExitSuccess) << name << ": " << record.reason;
            for (int v : shape.moved) {
                const Range& in = record.found->refined->intervals->x[static_cast<std::size_t>(v)];
                const double truth = kind.x[static_cast<std::size_t>(v - 1)] * (kPoints - 1);
                held[static_cast<std::size_t>(v)] += in.lo <= truth && truth <= in.hi;
            }
        }
        // Three binomial standard errors about the level.
        for (int v : shape.moved)
            EXPECT_NEAR(static_cast<double>(held[static_cast<std::size_t>(v)]) / kSeries, 0.9,
                        3.0 * std::sqrt(0.9 * 0.1 / kSeries))
                << name << ", X" << v;
    }
}

TEST(ResidualNoise, FindsThePersistenceTheFitLeavesShorter)
{
    // The residuals' own likelihood takes phi = 0.6 for about 0.52 on 120 points.
    using F = ModelFamily;
    for (const Kind& ramp : {Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}, 0.6, false},
                             Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}, 0.6, true},
                             Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}, 0.0, false}}) {
        const std::string name = (ramp.phi > 0.0 ? "AR(1)" : "white") +
                                 std::string(ramp.uneven ? ", uneven" : ", even");
        std::mt19937_64 random(5);
        constexpr int kSeries = 200;
        double phi = 0.0, variance = 0.0;
        for (int s = 0; s < kSeries; ++s) {
            const auto [x, y] = series_of(ramp, 120, 0.2, random);
            FitRequest request;
            request.searches = {{"4", "300", false}};
            request.refine = true;
            std::optional<KeptFit> kept;
            JobControl control;
            control.kept = &kept;
            fit_series(import_data_arrays(x, y), request, "", control);
            ASSERT_TRUE(kept) << name;
            const auto noise = refine::residual_noise(kept->crop, F::SimpleRamp, kept->refined.model);
            ASSERT_TRUE(noise) << name;
            EXPECT_EQ(noise->tau.has_value(), ramp.uneven) << name;
            phi += noise->phi;
            // The noise's variance is 0.04: its innovations' on even x.
            variance += noise->tau ? noise->variance
                                   : noise->variance / (1.0 - noise->phi * noise->phi);
        }
        EXPECT_NEAR(phi / kSeries, ramp.phi, 0.025) << name;
        EXPECT_NEAR(variance / kSeries, 0.04, 0.004) << name;
    }
}

}  // namespace
}  // namespace tolvenar
