// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>

using namespace tolvenar::scan;

namespace {

using Matrix = std::vector<std::vector<double>>;

// The least sum of squares over the values at `knots` (the curve linear between them), over
// var: by Gram-Schmidt on the knots' hat functions, another road than the segmentation's.
double knots_cost(std::span<const double> x, std::span<const double> y,
                  const std::vector<std::size_t>& knots, double var)
{
    const std::size_t n = x.size();
    std::vector<double> rest(y.begin(), y.end());
    std::vector<std::vector<double>> basis;
    for (std::size_t c = 0; c < knots.size(); ++c) {
        const double at = x[knots[c]];
        const double left = c > 0 ? x[knots[c - 1]] : at;
        const double right = c + 1 < knots.size() ? x[knots[c + 1]] : at;
        std::vector<double> q(n);
        for (std::size_t i = 0; i < n; ++i)
            q[i] = x[i] == at                  ? 1.0
                   : x[i] < at && x[i] > left  ? (x[i] - left) / (at - left)
                   : x[i] > at && x[i] < right ? (right - x[i]) / (right - at)
                                               : 0.0;
        for (const auto& b : basis) {
            const double dot = std::inner_product(b.begin(), b.end(), q.begin(), 0.0);
            for (std::size_t i = 0; i < n; ++i)
                q[i] -= dot * b[i];
        }
        const double norm = std::sqrt(std::inner_product(q.begin(), q.end(), q.begin(), 0.0));
        for (double& v : q)
            v /= norm;
        const double dot = std::inner_product(q.begin(), q.end(), rest.begin(), 0.0);
        for (std::size_t i = 0; i < n; ++i)
            rest[i] -= dot * q[i];
        basis.push_back(std::move(q));
    }
    return std::inner_product(rest.begin(), rest.end(), rest.begin(), 0.0) / var;
}

// Noise of unit marginal sd with persistence tau (0: white) at x.
std::vector<double> red_noise(std::span<const double> x, double tau, std::mt19937_64& random)
{
    std::normal_distribution<double> normal;
    std::vector<double> e(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double a = i > 0 && tau > 0.0 ? std::exp(-(x[i] - x[i - 1]) / tau) : 0.0;
        e[i] = i == 0 ? normal(random) : a * e[i - 1] + std::sqrt(1.0 - a * a) * normal(random);
    }
    return e;
}

// n points from 0, gaps 1 (even) or drawn from 0.4 to 1.6.
std::vector<double> abscissae(std::size_t n, bool even, std::mt19937_64& random)
{
    std::uniform_real_distribution<double> gap(0.4, 1.6);
    std::vector<double> x(n, 0.0);
    for (std::size_t i = 1; i < n; ++i)
        x[i] = x[i - 1] + (even ? 1.0 : gap(random));
    return x;
}

struct SmallCase {
    bool even;
    double tau, penalty;
    std::size_t min_size;
};

TEST(Segmentation, EqualsTheBestOfEveryKnotSetOnSmallSeries)
{
    for (const SmallCase c : {SmallCase{true, 0.0, 2.0, 1}, {true, 2.0, 1.0, 1}, {false, 1.5, 3.0, 1},
                              {false, 3.0, 0.5, 2}, {true, 0.7, 0.0, 3}, {false, 0.0, 6.0, 1}}) {
        for (std::uint64_t seed = 1; seed <= 4; ++seed) {
            std::mt19937_64 random(seed);
            const std::size_t n = 11;
            const auto x = abscissae(n, c.even, random);
            auto y = red_noise(x, c.tau, random);
            for (std::size_t i = 0; i < n; ++i)
                y[i] = 0.5 * y[i] + (i > 5 ? 2.0 : 0.3 * x[i]);
            const Segmentation s =
                segment(x, y, {.variance = 0.25, .penalty = c.penalty, .min_size = c.min_size});
            // Every set of interior knots whose segments hold min_size points or more.
            double best = INFINITY;
            for (std::uint32_t mask = 0; mask < (1u << (n - 2)); ++mask) {
                std::vector<std::size_t> knots{0};
                for (std::size_t i = 1; i + 1 < n; ++i)
                    if (mask >> (i - 1) & 1u)
                        knots.push_back(i);
                knots.push_back(n - 1);
                bool fits = true;
                for (std::size_t j = 1; j < knots.size(); ++j)
                    fits = fits && knots[j] - knots[j - 1] >= c.min_size;
                if (fits)
                    best = std::min(best, knots_cost(x, y, knots, 0.25) +
                                              c.penalty * double(knots.size() - 2));
            }
            const std::string label = "case tau " + std::to_string(c.tau) + " seed " +
                                      std::to_string(seed);
            EXPECT_NEAR(s.cost, best, 1e-9 * best) << label << " knots " << s.knots.size();
            EXPECT_NEAR(knots_cost(x, y, s.knots, 0.25) +
                            c.penalty * double(s.knots.size() - 2), best, 1e-9 * best) << label;
        }
    }
}

}  // namespace
