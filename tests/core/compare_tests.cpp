// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>

using namespace tolvenar::compare;

namespace {

using Matrix = std::vector<std::vector<double>>;

// The maximum over s^2 of ln N(r; 0, s^2 C) and that s^2, through a Cholesky factor of C.
std::pair<double, double> gaussian_profile(const Matrix& c, std::span<const double> r)
{
    const std::size_t n = r.size();
    Matrix l(n, std::vector<double>(n, 0.0));
    std::vector<double> z(n);
    double q = 0.0, log_det = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j <= i; ++j) {
            double s = c[i][j];
            for (std::size_t k = 0; k < j; ++k)
                s -= l[i][k] * l[j][k];
            l[i][j] = i == j ? std::sqrt(s) : s / l[j][j];
        }
        double s = r[i];
        for (std::size_t k = 0; k < i; ++k)
            s -= l[i][k] * z[k];
        z[i] = s / l[i][i];
        q += z[i] * z[i];
        log_det += 2.0 * std::log(l[i][i]);
    }
    const double v = q / static_cast<double>(n), nd = static_cast<double>(n);
    return {-0.5 * nd * std::log(2.0 * std::numbers::pi * v) - 0.5 * log_det - 0.5 * nd, v};
}

// sigma_i sigma_j times the correlation of AR(1) errors: phi^|i-j| / (1 - phi^2) on even x
// (unit innovations), exp(-|x_i - x_j| / tau) when tau > 0.
Matrix ar1_covariance(std::span<const double> x, std::span<const double> sigma, double phi, double tau)
{
    Matrix c(x.size(), std::vector<double>(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i)
        for (std::size_t j = 0; j < x.size(); ++j)
            c[i][j] = (sigma.empty() ? 1.0 : sigma[i] * sigma[j]) *
                      (tau > 0.0 ? std::exp(-std::abs(x[i] - x[j]) / tau)
                                 : std::pow(phi, std::abs(double(i) - double(j))) / (1.0 - phi * phi));
    return c;
}

// AR(1) noise with unit innovations on even x.
std::vector<double> noise(std::span<const double> x, double phi, std::uint64_t seed)
{
    NoiseFit model{0.0, 1.0, phi, std::nullopt, 2};
    std::mt19937_64 random(seed);
    return simulate_noise(x, model, {}, random);
}

std::vector<double> range(std::size_t n)
{
    std::vector<double> x(n);
    std::iota(x.begin(), x.end(), 0.0);
    return x;
}

// A cheap event family: one step, its break placed by scanning every split with running sums.
std::optional<std::vector<double>> best_step(std::span<const double> x, std::span<const double> y)
{
    const std::size_t n = y.size();
    std::vector<double> sum(n + 1, 0.0), sq(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        sum[i + 1] = sum[i] + y[i];
        sq[i + 1] = sq[i] + y[i] * y[i];
    }
    const auto ss = [&](std::size_t a, std::size_t b) {
        return sq[b] - sq[a] - (sum[b] - sum[a]) * (sum[b] - sum[a]) / double(b - a);
    };
    std::size_t best = 2;
    for (std::size_t k = 2; k + 2 <= n; ++k)
        if (ss(0, k) + ss(k, n) < ss(0, best) + ss(best, n))
            best = k;
    std::vector<double> r(x.size());
    for (std::size_t i = 0; i < n; ++i)
        r[i] = y[i] - (i < best ? sum[best] / double(best) : (sum[n] - sum[best]) / double(n - best));
    return r;
}

}  // namespace

TEST(NoiseLikelihood, EqualsTheMultivariateNormalDensityWithTheAr1Covariance)
{
    struct Case { std::vector<double> x, sigma; double phi, tau; };
    const std::vector<double> r{0.3, -1.1, 0.4, 2.0, -0.7, 0.9};
    for (const Case& c : std::vector<Case>{{range(6), {2.0, 1.0, 1.0, 0.5, 1.0, 3.0}, 0.0, 0.0},
                                           {range(6), {1.0, 2.0, 0.5, 1.0, 3.0, 1.5}, 0.7, 0.0},
                                           {range(6), {}, -0.5, 0.0},
                                           {{0.0, 0.5, 2.0, 2.2, 4.0, 7.0}, {}, 0.0, 1.5},
                                           {{0.0, 0.5, 2.0, 2.2, 4.0, 7.0}, {2.0, 1.0, 1.0, 0.5, 1.0, 3.0}, 0.0, 10.0}}) {
        const auto [ll, v] = gaussian_profile(ar1_covariance(c.x, c.sigma, c.phi, c.tau), r);
        const Profile got = c.tau > 0.0 ? ou_profile(c.x, r, c.sigma, c.tau) : ar1_profile(r, c.sigma, c.phi);
        EXPECT_NEAR(got.log_likelihood, ll, 1e-10) << c.phi << " " << c.tau;
        EXPECT_NEAR(got.variance, v, 1e-12) << c.phi << " " << c.tau;
        if (c.phi == 0.0 && c.tau == 0.0)
            EXPECT_NEAR(fit_noise(c.x, r, c.sigma, NoiseModel::Independent).log_likelihood, ll, 1e-10);
    }
    EXPECT_THROW(ar1_profile(r, std::vector<double>(6, 0.0), 0.0), std::invalid_argument);
    for (const std::vector<double>& e : {std::vector<double>{0.3, -1.1}, std::vector<double>(6, 0.0)})
        EXPECT_EQ(fit_noise(range(e.size()), e, {}, NoiseModel::Ar1).phi, 0.0) << e.size();  // too few, none
}

TEST(NullModels, LikelihoodAicAndBicEqualClosedForms)
{
    const std::vector<double> x{0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
    const std::vector<double> y{1.0, 2.5, 1.5, 3.5, 3.0, 4.5, 3.5, 6.0};
    const double n = 8.0, sx = 28.0, sxx = 140.0, sy = 25.5;
    const double sxy = std::inner_product(x.begin(), x.end(), y.begin(), 0.0);
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx), intercept = (sy - slope * sx) / n;
    for (const bool line : {false, true}) {
        std::vector<double> e(8);
        for (std::size_t i = 0; i < 8; ++i)
            e[i] = y[i] - (line ? intercept + slope * x[i] : sy / n);
        const double ss = std::inner_product(e.begin(), e.end(), e.begin(), 0.0);
        const NullFit fit = fit_null(line ? "line" : "constant", x, y);

        const ModelRecord plain = model_record("m", line ? 2 : 1, x, fit.residuals, {}, NoiseModel::Independent);
        const double ll = -n / 2.0 * (std::log(2.0 * std::numbers::pi * ss / n) + 1.0), k = line ? 3.0 : 2.0;
        EXPECT_NEAR(plain.sum_of_squares, ss, 1e-12);
        EXPECT_NEAR(plain.log_likelihood, ll, 1e-10);
        EXPECT_NEAR(plain.aic, 2.0 * k - 2.0 * ll, 1e-10);
        EXPECT_NEAR(plain.bic, k * std::log(n) - 2.0 * ll, 1e-10);

        // AR(1): the density at the fitted phi, a maximum over phi, and one more parameter.
        const ModelRecord red = model_record("m", line ? 2 : 1, x, fit.residuals, {}, NoiseModel::Ar1);
        const auto density = [&](double phi) { return gaussian_profile(ar1_covariance(x, {}, phi, 0.0), e).first; };
        EXPECT_EQ(red.k, std::size_t(k) + 1);
        EXPECT_NEAR(red.log_likelihood, density(red.phi), 1e-9);
        EXPECT_GT(red.log_likelihood, std::max(density(red.phi - 1e-3), density(red.phi + 1e-3)));
        EXPECT_NEAR(red.bic, (k + 1.0) * std::log(n) - 2.0 * red.log_likelihood, 1e-10);
    }
}

TEST(NullModels, WeightedByOneOverSigmaSquared)
{
    const std::vector<double> x{0.0, 1.0, 2.0, 3.0}, y{1.0, 3.0, 2.0, 6.0}, sigma{1.0, 2.0, 0.5, 1.0};
    EXPECT_NEAR(fit_null("constant", x, y, sigma).level, (1.0 + 0.75 + 8.0 + 6.0) / (1.0 + 0.25 + 4.0 + 1.0), 1e-12);
    // A line through three of the points, the fourth with a huge sigma: the three decide it.
    const std::vector<double> on_line{1.0, 3.0, 5.0, -40.0}, loose{1.0, 1.0, 1.0, 1e9};
    const NullFit line = fit_null("line", x, on_line, loose);
    EXPECT_NEAR(line.slope, 2.0, 1e-9);
    EXPECT_NEAR(line.at(0.0), 1.0, 1e-9);
}

TEST(NoiseFit, RecoversPhiAndTauOnLongSeries)
{
    struct Case { double phi; std::optional<double> tau; bool weighted = false; };
    std::vector<double> uneven{0.0};
    std::mt19937_64 gaps(7);
    while (uneven.size() < 4000)
        uneven.push_back(uneven.back() + 0.2 + 1.6 * std::uniform_real_distribution<double>()(gaps));
    for (const Case& c : std::vector<Case>{{0.6, {}}, {-0.4, {}}, {0.0, {}}, {0.0, 2.0}, {0.0, 0.05}, {0.6, {}, true}, {0.0, 2.0, true}}) {
        const std::vector<double> x = c.tau ? uneven : range(4000);
        std::vector<double> sigma(c.weighted ? x.size() : 0);
        for (std::size_t i = 0; i < sigma.size(); ++i)
            sigma[i] = 1.0 + double(i % 3);
        std::mt19937_64 random(11);
        const NoiseFit fit = fit_noise(x, simulate_noise(x, {0.0, 1.0, c.phi, c.tau, 2}, sigma, random), sigma);
        EXPECT_EQ(evenly_spaced(x), !c.tau);
        EXPECT_NEAR(fit.phi, c.tau ? std::exp(-1.0 / *c.tau) : c.phi, 0.04) << c.phi;
        if (c.tau && *c.tau > 1.0)
            EXPECT_NEAR(*fit.tau / *c.tau, 1.0, 0.15);
        EXPECT_NEAR(fit.variance, 1.0, 0.08);
    }
}

TEST(NoiseFit, SimulatedNoiseIsStationaryFromTheFirstPoint)
{
    for (const std::optional<double> tau : {std::optional<double>(), std::optional(2.0)}) {
        const std::vector<double> x{0.0, 1.0};
        std::mt19937_64 random(5);
        double v = 0.0, c = 0.0;  // the first point's variance, its covariance with the second
        for (int i = 0; i < 20000; ++i) {
            const std::vector<double> e = simulate_noise(x, {0.0, 1.0, 0.6, tau, 2}, {}, random);
            v += e[0] * e[0] / 20000.0, c += e[0] * e[1] / 20000.0;
        }
        const double var = tau ? 1.0 : 1.0 / 0.64, rho = tau ? std::exp(-0.5) : 0.6;
        EXPECT_NEAR(v / var, 1.0, 0.05);
        EXPECT_NEAR(c / var, rho, 0.03);
    }
}

TEST(NoiseFit, EvenlySpacedWithinATenthOfAPercentOfTheMeanGap)
{
    struct Case { std::vector<double> x; bool even; };
    for (const Case& c : std::vector<Case>{{{5.0, 6.0, 7.0, 8.0}, true}, {{0.0, 1.0, 2.0009, 3.0}, true},
                                           {{0.0, 1.0, 2.0011, 3.0}, false}, {{0.0, 1.0, 1.0, 3.0}, false},
                                           {{3.0, 2.0, 1.0}, true}, {{0.0, 1.0, 3.0}, false},
                                           {{0.0, 5.0}, true}})  // fewer than three: yes
        EXPECT_EQ(evenly_spaced(c.x), c.even) << c.x.back();
}

TEST(Choice, LowestBicTiesGoToFewerParametersAndTheTestCanVetoAnEvent)
{
    struct Row { std::string name; std::size_t k; double bic; };
    struct Case { std::vector<Row> rows; std::optional<double> p; std::string chosen; };
    const std::vector<Row> three{{"constant", 3, 10.0}, {"ramp", 8, 5.0}, {"line", 4, 8.0}};
    std::vector<ModelRecord> first;  // of the first case, for the weights
    for (const Case& c : std::vector<Case>{
             {three, std::nullopt, "ramp"}, {three, 0.01, "ramp"}, {three, 0.05, "line"},
             {three, 0.3, "line"},
             {{{"ramp", 8, 100.0 - 1e-8}, {"line", 4, 100.0}}, std::nullopt, "line"},
             {{{"ramp", 8, 99.99}, {"line", 4, 100.0}}, std::nullopt, "ramp"},
             {{{"ramp", 8, 5.0}, {"symmetric", 8, 5.0}, {"line", 4, 9.0}}, std::nullopt, "ramp"},
             {{{"constant", 3, 7.0}, {"free3", 9, 1.0}, {"line", 4, 7.0 - 1e-9}}, 0.5, "constant"},
             {{{"free4", 11, 3.0}, {"free3", 9, 3.0}, {"line", 4, 9.0}}, 0.0, "free3"}}) {
        std::vector<ModelRecord> records;
        for (const Row& r : c.rows)
            records.push_back({r.name, r.k, 0.0, 0.0, std::nullopt, 0.0, r.bic * 2.0, r.bic});
        if (c.p >= 0.05)  // the same rule on records in any order
            EXPECT_EQ(records[*best_model(records, false)].name, c.chosen);
        const std::size_t chosen = rank_models(records, c.p);
        if (first.empty())
            first = records;
        EXPECT_EQ(records[chosen].name, c.chosen) << c.rows.size() << " " << c.p.value_or(-1);
        EXPECT_EQ(std::count_if(records.begin(), records.end(), [](auto& r) { return r.chosen; }), 1);
        EXPECT_TRUE(std::is_sorted(records.begin(), records.end(), [](auto& a, auto& b) { return a.bic < b.bic; }));
    }
    const double total = 1.0 + std::exp(-1.5) + std::exp(-2.5), aic_total = 1.0 + std::exp(-3.0) + std::exp(-5.0);
    EXPECT_NEAR(first[0].bic_weight, 1.0 / total, 1e-12);  // the least BIC weighs most
    EXPECT_NEAR(first[2].bic_weight, std::exp(-2.5) / total, 1e-12);
    EXPECT_NEAR(first[1].aic_weight, std::exp(-3.0) / aic_total, 1e-12);
}

TEST(EventTest, PIsOnePlusTheExceedancesOverOnePlusTheReplicates)
{
    struct Case { std::vector<double> lr; double observed, p; };
    for (const Case& c : std::vector<Case>{{{1.0, 2.0, 3.0}, 2.0, 0.75},
                                           {{1.0, 2.0, std::nan("")}, 5.0, 1.0 / 3.0},
                                           {{5.0, 5.0}, 5.0, 1.0},
                                           {{}, 0.0, 1.0}})
        EXPECT_DOUBLE_EQ(bootstrap_p(c.lr, c.observed), c.p) << c.observed;
}

TEST(EventTest, TheSameOnAnyThreadCountAndStoppedBetweenReplicates)
{
    const std::vector<double> x = range(60), y = noise(x, 0.5, 3);
    const NullFit null = fit_null("constant", x, y);
    const auto observed = *best_step(x, y);
    std::atomic<std::size_t> done{0};
    const EventTestResult one = event_test(x, {}, null, observed, best_step, {16, 9, 1, nullptr, &done});
    const EventTestResult two = event_test(x, {}, null, observed, best_step, {16, 9, 2});
    EXPECT_EQ(one.lr, two.lr);
    EXPECT_TRUE(one.replicates == 16 && done.load() == 16);
    const std::atomic<bool> stop{true};
    const EventTestResult stopped = event_test(x, {}, null, observed, best_step, {16, 9, 2, &stop});
    EXPECT_TRUE(stopped.stopped && stopped.replicates == 0 && stopped.p == 1.0);
}

TEST(EventTest, RedNoiseIsRarelyCalledAnEventAndAClearStepIs)
{
    const std::vector<double> x = range(80);
    // A family that finds nothing (here: a wrong-sized answer) is left out of the comparison.
    const EventFitter fit = [](std::string_view family, std::span<const double> rx, std::span<const double> ry) {
        return family == "step" ? best_step(rx, ry) : std::optional(std::vector<double>(1));
    };
    CompareSettings settings{{{"step", 3}, {"none", 1}}, NoiseModel::Ar1, 0.05, {39, 5}};
    int events = 0;
    for (std::uint64_t s = 0; s < 20; ++s) {
        std::vector<double> y = noise(x, 0.6, 100 + s);
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] += s % 2 ? 0.05 * x[i] : 0.0;
        const Comparison c = compare_models(x, y, {}, fit, settings);
        events += c.models[c.chosen].name == "step";
        EXPECT_EQ(c.models.size(), 3u);
        EXPECT_TRUE(c.models[c.chosen].name == "step" || c.models[c.chosen].name == c.test->null_name);
    }
    EXPECT_LE(events, 4);
    std::vector<double> y = noise(x, 0.6, 99);
    for (std::size_t i = 40; i < y.size(); ++i)
        y[i] += 6.0;
    for (const CompareSettings& s : {settings, CompareSettings{settings.families, NoiseModel::Independent, 0.05, {0}}}) {
        const Comparison c = compare_models(x, y, {}, fit, s);
        EXPECT_EQ(c.models[c.chosen].name, "step");
        EXPECT_EQ(c.test.has_value(), s.test.replicates > 0);
        EXPECT_LT(c.test ? c.test->p : 0.0, 0.05);
    }
}
