// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/data_reader.h"
#include "core/refine/bootstrap.h"
#include "core/session/fit_session.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace tolvenar {
namespace {

// A ramp from 0 (up to t = 25) to 3 (from t = 45) with AR(1) noise of sd 0.3, coefficient over a
// gap dt exp(-dt / tau) (tau 0: white).
std::vector<double> ramp_over(const std::vector<double>& t, double tau, std::uint32_t seed)
{
    std::mt19937_64 engine(seed);
    std::normal_distribution<double> normal(0.0, 0.3);
    std::vector<double> y;
    double e = normal(engine);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double phi = i == 0 || tau == 0.0 ? 0.0 : std::exp(-(t[i] - t[i - 1]) / tau);
        e = i == 0 ? e : phi * e + std::sqrt(1.0 - phi * phi) * normal(engine);
        y.push_back(3.0 * std::clamp((t[i] - 25.0) / 20.0, 0.0, 1.0) + e);
    }
    return y;
}

struct Fitted {
    SearchResult search;
    refine::RefinedFit refined;
    refine::BootstrapResult boot;
};

// A "Simple ramp" of the whole series (sigma[row] as the reader gives it) through the session:
// searched, refined and bootstrapped with 12 replicates.
Fitted session_fit(const std::vector<double>& t, const std::vector<double>& y,
                   const std::vector<double>& sigma)
{
    FitSession session;
    session.load(test::table_of(t, y), {}, sigma);
    session.crop_and_measure(crop_edges(t.front(), t.back()));
    session.set_vertices(node_count_of(ModelFamily::SimpleRamp));
    SearchObserver quiet;
    const float width = static_cast<float>(t.back() - t.front());
    Fitted f;
    f.search = session.search({ModelFamily::SimpleRamp, 0, 2, 300, 0.0f, width}, quiet);
    f.refined = session.refine(ModelFamily::SimpleRamp);
    f.boot = session.bootstrap(ModelFamily::SimpleRamp, f.refined, {12, 0.9, 5, 1});
    return f;
}

// Sigma of 1 everywhere is no sigma, bit for bit; sigma doubled everywhere keeps every break
// point and quarters every sum of squares (R, the standard errors and the intervals stay).
TEST(Weights, OfOneAreNoneAndDoubledSigmaQuartersTheSums)
{
    std::vector<double> t(80);
    std::iota(t.begin(), t.end(), 0.0);
    const std::vector<double> y = ramp_over(t, 2.0, 3);
    std::vector<double> ones(81, 1.0), sigma(81), doubled(81);
    for (std::size_t row = 0; row < sigma.size(); ++row) {
        sigma[row] = 0.2 + 0.05 * static_cast<double>(row % 7);
        doubled[row] = 2.0 * sigma[row];
    }
    struct Pair { const std::vector<double>*a, *b; float quarter; };
    const std::vector<double> none;
    for (const Pair& p : {Pair{&none, &ones, 1.0f}, Pair{&sigma, &doubled, 0.25f}}) {
        const Fitted a = session_fit(t, y, *p.a), b = session_fit(t, y, *p.b);
        EXPECT_EQ(b.search.best.x, a.search.best.x);
        EXPECT_EQ(b.search.best.y, a.search.best.y);
        EXPECT_EQ(b.search.sq_dist, a.search.sq_dist * p.quarter);
        EXPECT_EQ(b.search.r, a.search.r);
        EXPECT_EQ(b.refined.model.x, a.refined.model.x);
        EXPECT_EQ(b.refined.sq_dist, a.refined.sq_dist * p.quarter);
        EXPECT_EQ(b.boot.block_length, a.boot.block_length);
        for (int k : {2, 3}) {
            EXPECT_NEAR(b.boot.x[k].lo, a.boot.x[k].lo, 1e-9) << k;
            EXPECT_NEAR(b.boot.x[k].hi, a.boot.x[k].hi, 1e-9) << k;
            EXPECT_NEAR(b.boot.errors->x[k], a.boot.errors->x[k], 1e-6) << k;
        }
    }
}

// A file with a sigma column and gaps, cropped inside: each point weighs by its own row's
// sigma, so an outlier whose sigma is huge leaves the fit as though it were not there.
TEST(Weights, AFileWithSigmaAndGapsWeighsEachPointByItsOwnRow)
{
    std::vector<double> t;
    for (int i = 0; i < 70; ++i)
        t.push_back(i);
    const std::vector<double> y = ramp_over(t, 0.0, 11);
    const auto file = [&](bool outlier, bool with_sigma) {
        std::ostringstream text;
        text << "t,v" << (with_sigma ? ",sd" : "") << "\n";
        for (std::size_t i = 0; i < t.size(); ++i) {
            const bool gap = i % 9 == 4, odd = i == 12;
            if (odd && !outlier)
                continue;
            text << t[i] << ',' << (gap ? std::string("NA") : std::to_string(odd ? 9.0 : y[i]));
            text << (with_sigma ? (odd ? ",1e4" : ",0.3") : "") << "\n";
        }
        ReadOptions options;
        if (with_sigma)
            options.sigma = ColumnChoice::of_text("sd");
        ImportedSeries series = import_data_text(text.str(), options).series;
        FitSession session;
        session.load(std::move(series.table), series.x_form, series.sigma);
        session.crop_and_measure(crop_edges(3.0, 66.0));
        session.set_vertices(node_count_of(ModelFamily::SimpleRamp));
        SearchObserver quiet;
        session.search({ModelFamily::SimpleRamp, 0, 2, 300, 3.0f, 63.0f}, quiet);
        return session.refine(ModelFamily::SimpleRamp).model;
    };
    const Model without = file(false, false), weighed = file(true, true), plain = file(true, false);
    for (int k : {2, 3}) {
        EXPECT_NEAR(weighed.x[k], without.x[k], 0.01) << k;
        EXPECT_NEAR(weighed.y[k], without.y[k], 1e-3) << k;
    }
    EXPECT_GT(std::abs(plain.y[1] - without.y[1]), 0.1);  // 9 at t = 12 pulls the first level
}

// Clustered sampling times: three gaps of 0.2, then one of 2.4 (mean spacing 0.75).
std::vector<double> clustered(std::size_t n)
{
    std::vector<double> t{0.0};
    while (t.size() < n)
        t.push_back(t.back() + (t.size() % 4 == 0 ? 2.4 : 0.2));
    return t;
}

// The AR(1) steps between points: exp(-gap / tau), a repeated x apart by a thousandth of the mean
// gap; phi on even x.
TEST(UnevenBootstrap, Ar1StepsFollowTheGaps)
{
    compare::NoiseFit uneven, even;
    uneven.tau = 2.0;
    even.phi = 0.6;
    const std::vector<double> x{0.0, 1.0, 1.0, 3.0};
    const std::vector<double> steps = refine::ar1_steps(x, uneven);
    const double expected[] = {0.0, std::exp(-0.5), std::exp(-0.0005), std::exp(-1.0)};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(steps[i], expected[i], 1e-15) << i;
    EXPECT_EQ(refine::ar1_steps(x, even), (std::vector<double>{0.0, 0.6, 0.6, 0.6}));
    EXPECT_EQ(refine::ar1_steps(std::vector<double>{0, 1}, even), (std::vector<double>{0.0, 0.6}));
}

// The standard errors from the residuals' AR(1): the sandwich of the fitted noise's covariance
// (formed here pair by pair), on even and clustered x, which grows with the noise's persistence.
TEST(UnevenBootstrap, Ar1ErrorsAreTheSandwichOfTheFittedNoise)
{
    std::vector<double> even(120);
    std::iota(even.begin(), even.end(), 0.0);
    for (const bool uneven : {false, true}) {
        const std::vector<double> t = uneven ? clustered(120) : even;
        const auto right = static_cast<float>(t.back());
        Model m{{0, 0, 25, 45, right, right, right}, {0, 0, 0, 3, 3, 3, 3}};
        const auto at = [&](const std::array<double, 4>& p, double x) {  // x2, x3, y1, y3
            Model shifted = m;
            shifted.x[2] = static_cast<float>(p[0]), shifted.x[3] = static_cast<float>(p[1]);
            shifted.y[1] = shifted.y[2] = static_cast<float>(p[2]);
            for (std::size_t k = 3; k <= 6; ++k)
                shifted.y[k] = static_cast<float>(p[3]);
            return refine::model_value_at(shifted, x);
        };
        double se[2] = {};
        for (const double tau : {0.0, 4.0}) {
            EngineState s = test::state_over(t, ramp_over(t, tau, 4));
            s.NodeCount = node_count_of(ModelFamily::SimpleRamp);
            const auto ar1 = refine::ar1_standard_errors(fit_crop(s), ModelFamily::SimpleRamp, m);
            const compare::NoiseFit& noise = ar1->noise;
            const std::size_t n = t.size();
            std::vector<std::array<double, 4>> j(n);  // the gradient, by central differences
            for (std::size_t a = 0; a < 4; ++a) {
                std::array<double, 4> plus{25, 45, 0, 3}, minus = plus;
                const double h = a < 2 ? 1e-2 : 1e-3;
                plus[a] += h, minus[a] -= h;
                for (std::size_t i = 0; i < n; ++i)
                    j[i][a] = (at(plus, t[i]) - at(minus, t[i])) / (2 * h);
            }
            double bread[4][4] = {}, meat[4][4] = {};
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t k = 0; k < n; ++k) {
                    const double lag = static_cast<double>(i > k ? i - k : k - i);
                    const double cov =
                        uneven ? noise.variance * std::exp(-std::abs(t[i] - t[k]) / *noise.tau)
                               : noise.variance * std::pow(noise.phi, lag) /
                                     (1.0 - noise.phi * noise.phi);
                    for (std::size_t a = 0; a < 4; ++a)
                        for (std::size_t b = 0; b < 4; ++b) {
                            bread[a][b] += i == k ? j[i][a] * j[i][b] : 0.0;
                            meat[a][b] += cov * j[i][a] * j[k][b];
                        }
                }
            // (bread^-1 meat bread^-1)[0][0], bread inverted by Gauss-Jordan.
            double inv[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
            for (std::size_t c = 0; c < 4; ++c) {
                const double d = bread[c][c];
                for (std::size_t k = 0; k < 4; ++k)
                    bread[c][k] /= d, inv[c][k] /= d;
                for (std::size_t r = 0; r < 4; ++r)
                    for (const double f = r == c ? 0.0 : bread[r][c]; std::size_t k : {0, 1, 2, 3})
                        bread[r][k] -= f * bread[c][k], inv[r][k] -= f * inv[c][k];
            }
            double v = 0.0;
            for (std::size_t a = 0; a < 4; ++a)
                for (std::size_t b = 0; b < 4; ++b)
                    v += inv[0][a] * meat[a][b] * inv[b][0];
            EXPECT_NEAR(ar1->errors.x[2], std::sqrt(v), 1e-4 * std::sqrt(v)) << uneven << tau;
            se[tau > 0.0] = ar1->errors.x[2];
        }
        EXPECT_GT(se[1], 1.5 * se[0]) << uneven;
    }
    // As many points as the ramp's four values leave no residual to measure the noise by.
    EngineState four = test::state_over({0, 1, 2, 3}, {0, 1, 2, 2});
    four.NodeCount = node_count_of(ModelFamily::SimpleRamp);
    const Model ramp{{0, 0, 1, 2, 3, 3, 3}, {0, 0, 0, 2, 2, 2, 2}};
    EXPECT_FALSE(refine::standard_errors(fit_crop(four), ModelFamily::SimpleRamp, ramp, 0));
    EXPECT_FALSE(refine::ar1_standard_errors(fit_crop(four), ModelFamily::SimpleRamp, ramp));
}

// The replicates' noise is the residuals' AR(1), on x where x is uneven, whatever the thread
// count; series drawn together take blocks of rows on even x.
TEST(UnevenBootstrap, DrawsTheResidualsAr1OnAnyX)
{
    std::vector<double> even(80);
    std::iota(even.begin(), even.end(), 0.0);
    for (const bool uneven : {false, true}) {
        const std::vector<double> t = uneven ? clustered(80) : even;
        EngineState s = test::state_over(t, ramp_over(t, 1.5, 8));
        s.NodeCount = node_count_of(ModelFamily::SimpleRamp);
        Model start;
        start.x = {0, 0, 25, 45, static_cast<float>(t.back()), static_cast<float>(t.back()),
                   static_cast<float>(t.back())};
        start.y = {0, 0, 0, 3, 3, 3, 3};
        const refine::RefinedFit fit =
            refine::refine_fit(fit_crop(s), {ModelFamily::SimpleRamp, false, start, {}});
        refine::BootstrapSettings settings{ModelFamily::SimpleRamp, false, 2, 200, 0.0f,
                                           static_cast<float>(t.back()), 30, 0.9, 7, 1};
        const refine::BootstrapResult one = refine::bootstrap(fit_crop(s), fit, settings);
        settings.threads = 2;
        settings.resampling = refine::Resampling::Ar1;
        const refine::BootstrapResult two = refine::bootstrap(fit_crop(s), fit, settings);
        EXPECT_EQ(one.resampling, settings.resampling);
        settings.resampling = refine::Resampling::RowsOnEvenX;
        EXPECT_EQ(refine::bootstrap(fit_crop(s), fit, settings).resampling,
                  uneven ? refine::Resampling::Ar1 : refine::Resampling::Blocks);
        EXPECT_EQ(one.persistence.has_value(), uneven);
        if (uneven) {
            EXPECT_GT(*one.persistence, 0.1);  // of the order of the noise's 1.5
            EXPECT_LT(*one.persistence, 15.0);
            EXPECT_EQ(refine::resampling_text(one).rfind("AR(1) noise on x, persistence ", 0), 0u);
        }
        // A ramp over a wave leaves residuals that drift over the whole crop: said.
        std::vector<double> wave;
        for (const double v : t)
            wave.push_back(std::sin(3.0 * v / t.back()));
        EngineState w = test::state_over(t, wave);
        w.NodeCount = s.NodeCount;
        settings.resampling = refine::Resampling::Ar1;
        const refine::BootstrapResult drift = refine::bootstrap(
            fit_crop(w), refine::refine_fit(fit_crop(w), {ModelFamily::SimpleRamp, false, start, {}}), settings);
        EXPECT_TRUE(drift.drifting && !one.drifting);
        EXPECT_NE(refine::resampling_text(drift).find("longer than the crop (the family may miss"), std::string::npos);
        for (int k : {2, 3}) {
            EXPECT_EQ(one.x[k].lo, two.x[k].lo) << k;
            EXPECT_LT(one.x[k].lo, fit.model.x[k]) << k;
            EXPECT_GT(one.x[k].hi, fit.model.x[k]) << k;
        }
    }
}

}  // namespace
}  // namespace tolvenar
