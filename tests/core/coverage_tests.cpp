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
    bool ar1 = false;          // AR(1) noise on x (correlation 0.6 over one spacing), else white
    bool uneven = false;       // gaps drawn from 0.4..1.6, else x = 0, 1, ...
};

double polyline(const Kind& kind, double share)
{
    for (std::size_t k = 0; k + 1 < kind.x.size(); ++k)
        if (share <= kind.x[k + 1])
            return kind.y[k] + (kind.y[k + 1] - kind.y[k]) * (share - kind.x[k]) /
                                   (kind.x[k + 1] - kind.x[k]);
    return kind.y.back();
}

TEST(Intervals, HoldTheTrueBreakPointsAsOftenAsTheirLevelSays)
{
    constexpr int kSeries = 150, kPoints = 60;
    using F = ModelFamily;
    for (const Kind& kind : {Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}},
                             Kind{F::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}, true, true},
                             Kind{F::AsymmetricEvent, {0, 0.3, 0.45, 0.7, 1}, {0, 0, 1, 0, 0}},
                             Kind{F::SymmetricEvent, {0, 0.3, 0.5, 0.7, 1}, {0, 0, 1, 0, 0},
                                  false, true}}) {
        const std::string name = std::string(family_caption(kind.family)) +
                                  (kind.ar1 ? ", AR(1)" : ", white") +
                                  (kind.uneven ? ", uneven" : ", even");
        const FamilyShape shape = family_shape(kind.family, 0);
        std::mt19937_64 random(11);
        std::normal_distribution<double> normal;
        std::uniform_real_distribution<double> gap(0.4, 1.6);
        const double span = kPoints - 1, tau = -1.0 / std::log(0.6);
        std::vector<int> held(7, 0);
        int fitted = 0;
        for (int s = 0; s < kSeries; ++s) {
            std::vector<double> x(kPoints), y(kPoints);
            for (std::size_t i = 1; i < x.size(); ++i)
                x[i] = x[i - 1] + (kind.uneven ? gap(random) : 1.0);
            const double scale = span / x.back();
            for (double& v : x)
                v *= scale;
            double e = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double a = kind.ar1 && i > 0 ? std::exp(-(x[i] - x[i - 1]) / tau) : 0.0;
                e = a * e + std::sqrt(1.0 - a * a) * normal(random);
                y[i] = polyline(kind, x[i] / span) + 0.15 * e;
            }
            FitRequest request;
            request.family = kind.family;
            request.searches = {{"4", "300", false}};
            request.bootstrap = 100;
            request.seed = static_cast<std::uint32_t>(s + 1);
            JobControl control;
            control.threads = 2;
            const FitRecord record = fit_series(import_data_arrays(x, y), request, "", control);
            ASSERT_EQ(record.code, kExitSuccess) << name << ": " << record.reason;
            ++fitted;
            for (int v : shape.moved) {
                const Range& in = record.found->refined->intervals->x[static_cast<std::size_t>(v)];
                const double truth = kind.x[static_cast<std::size_t>(v - 1)] * span;
                held[static_cast<std::size_t>(v)] += in.lo <= truth && truth <= in.hi;
            }
        }
        // Three binomial standard errors about the level.
        const double bound = 3.0 * std::sqrt(0.9 * 0.1 / fitted);
        for (int v : shape.moved) {
            const double share = static_cast<double>(held[static_cast<std::size_t>(v)]) / fitted;
            EXPECT_NEAR(share, 0.9, bound) << name << ", X" << v;
        }
    }
}

TEST(ResidualNoise, FindsThePersistenceTheFitLeavesShorter)
{
    // The residuals' own likelihood takes phi = 0.6 for about 0.52 on 120 points.
    struct Case {
        const char* name;
        bool uneven;
        double phi;  // over one mean spacing
    };
    for (const Case& c : {Case{"even x", false, 0.6}, Case{"uneven x", true, 0.6},
                          Case{"white", false, 0.0}}) {
        std::mt19937_64 random(5);
        std::normal_distribution<double> normal;
        std::uniform_real_distribution<double> gap(0.4, 1.6);
        const Kind ramp{ModelFamily::SimpleRamp, {0, 0.4, 0.6, 1}, {0, 0, 1, 1}};
        constexpr int kSeries = 200, kPoints = 120;
        double phi = 0.0, variance = 0.0;
        for (int s = 0; s < kSeries; ++s) {
            std::vector<double> x(kPoints), y(kPoints);
            for (std::size_t i = 1; i < x.size(); ++i)
                x[i] = x[i - 1] + (c.uneven ? gap(random) : 1.0);
            double e = 0.0;
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double a = i > 0 ? std::pow(c.phi, x[i] - x[i - 1]) : 0.0;
                e = a * e + std::sqrt(1.0 - a * a) * normal(random);
                y[i] = polyline(ramp, x[i] / x.back()) + 0.2 * e;
            }
            FitRequest request;
            request.searches = {{"4", "300", false}};
            request.refine = true;
            std::optional<KeptFit> kept;
            JobControl control;
            control.kept = &kept;
            fit_series(import_data_arrays(x, y), request, "", control);
            ASSERT_TRUE(kept) << c.name;
            const auto noise = refine::residual_noise(kept->crop, ModelFamily::SimpleRamp,
                                                      kept->refined.model);
            ASSERT_TRUE(noise) << c.name;
            EXPECT_EQ(noise->tau.has_value(), c.uneven) << c.name;
            phi += noise->phi;
            // The noise's variance is 0.04: its innovations' on even x.
            variance += noise->tau ? noise->variance
                                   : noise->variance / (1.0 - noise->phi * noise->phi);
        }
        EXPECT_NEAR(phi / kSeries, c.phi, 0.025) << c.name;
        EXPECT_NEAR(variance / kSeries, 0.04, 0.004) << c.name;
    }
}

}  // namespace
}  // namespace tolvenar
