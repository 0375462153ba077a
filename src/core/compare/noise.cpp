// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/noise.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace tolvenar::compare {

namespace {

constexpr double kLog2Pi = 1.8378770664093453;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// phi = tanh(v) is searched for v in +-this: |phi| up to 1 - 6e-7.
constexpr double kMaxAtanhPhi = 7.5;

// The residuals over their sigma_i, and the sum of ln sigma_i (the weights' log-determinant).
struct Scaled {
    std::vector<double> e;
    double log_sigma = 0.0;
};

Scaled scaled(std::span<const double> residuals, std::span<const double> sigma)
{
    if (!sigma.empty() && sigma.size() != residuals.size())
        throw std::invalid_argument("sigma: one per residual, or none");
    Scaled s{{residuals.begin(), residuals.end()}, 0.0};
    for (std::size_t i = 0; i < sigma.size(); ++i) {
        if (!(sigma[i] > 0.0) || !std::isfinite(sigma[i]))
            throw std::invalid_argument("sigma: every value positive and finite");
        s.e[i] /= sigma[i];
        s.log_sigma += std::log(sigma[i]);
    }
    return s;
}

// The Gaussian log-likelihood of n values whose whitened sum of squares is `ss`, at the
// variance's maximum ss / n: -n/2 (ln 2 pi + 1 + ln(ss / n)). +inf when ss is 0.
double concentrated(double ss, std::size_t n)
{
    if (n == 0)
        return 0.0;
    if (!(ss > 0.0))
        return kInfinity;
    const auto nd = static_cast<double>(n);
    return -0.5 * nd * (kLog2Pi + 1.0 + std::log(ss / nd));
}

// On even x the whitened sum of squares (1 - phi^2) e_1^2 + sum_{t>1} (e_t - phi e_{t-1})^2
// is A - 2 phi C + phi^2 D, so each phi costs O(1) after one pass.
struct Ar1Sums {
    double a = 0.0;  // sum of e_t^2
    double c = 0.0;  // sum of e_t e_{t-1}
    double d = 0.0;  // sum of e_t^2 but the first and the last
    std::size_t n = 0;
    double log_sigma = 0.0;
};

Ar1Sums ar1_sums(const Scaled& s)
{
    Ar1Sums sums{0.0, 0.0, 0.0, s.e.size(), s.log_sigma};
    for (std::size_t t = 0; t < s.e.size(); ++t) {
        sums.a += s.e[t] * s.e[t];
        if (t > 0)
            sums.c += s.e[t] * s.e[t - 1];
        if (t > 0 && t + 1 < s.e.size())
            sums.d += s.e[t] * s.e[t];
    }
    return sums;
}

Profile ar1_at(const Ar1Sums& s, double phi)
{
    const double ss = s.a - 2.0 * phi * s.c + phi * phi * s.d;
    // ln det of the stationary AR(1) correlation matrix is -ln(1 - phi^2).
    return {concentrated(ss, s.n) + 0.5 * std::log((1.0 - phi) * (1.0 + phi)) - s.log_sigma,
            s.n ? ss / static_cast<double>(s.n) : 0.0};
}

// gap[i] between points i - 1 and i (gap[0] unused), floored at kMinimumGapShare of the mean.
struct Gaps {
    std::vector<double> gap;
    double mean = 0.0;   // mean |gap| before the floor
    double least = 0.0;  // smallest floored gap
};

Gaps gaps_of(std::span<const double> x)
{
    Gaps g{std::vector<double>(x.size(), 0.0), 0.0, 0.0};
    if (x.size() < 2)
        return g;
    for (std::size_t i = 1; i < x.size(); ++i)
        g.mean += std::abs(x[i] - x[i - 1]);
    g.mean /= static_cast<double>(x.size() - 1);
    g.least = kInfinity;
    for (std::size_t i = 1; i < x.size(); ++i) {
        g.gap[i] = std::max(std::abs(x[i] - x[i - 1]), kMinimumGapShare * g.mean);
        g.least = std::min(g.least, g.gap[i]);
    }
    return g;
}

// The continuous-time AR(1): e_1 has the marginal variance sigma^2, e_i given e_{i-1} has mean
// phi_i e_{i-1} and variance sigma^2 (1 - phi_i^2), phi_i = exp(-gap_i / tau). O(n), one expm1
// a point; the log-determinant sum of ln(1 - phi_i^2) is taken as the log of running products.
Profile ou_at(const Scaled& s, const Gaps& g, double tau)
{
    const std::size_t n = s.e.size();
    if (n == 0)
        return {};
    double ss = s.e[0] * s.e[0], log_det = 0.0, product = 1.0;
    for (std::size_t i = 1; i < n; ++i) {
        const double m = std::expm1(-g.gap[i] / tau);  // phi_i - 1, exact for short gaps
        const double q = -m * (2.0 + m);               // 1 - phi_i^2
        const double u = s.e[i] - (1.0 + m) * s.e[i - 1];
        ss += u * u / q;
        product *= q;
        if (product < 1e-200) {
            log_det += std::log(product);
            product = 1.0;
        }
    }
    log_det += std::log(product);
    return {concentrated(ss, n) - 0.5 * log_det - s.log_sigma, ss / static_cast<double>(n)};
}

// Brent's minimisation of f on [a, b] to `tol` in the argument: golden sections, parabolic steps
// where they behave. {argument, value}.
template <typename F>
std::pair<double, double> brent_minimum(F f, double a, double b, double tol)
{
    constexpr double golden = 0.3819660112501051;  // (3 - sqrt 5) / 2
    double x = a + golden * (b - a), w = x, v = x;
    double fx = f(x), fw = fx, fv = fx;
    double d = 0.0, e = 0.0;
    for (int iteration = 0; iteration < 100; ++iteration) {
        const double middle = 0.5 * (a + b);
        const double tol1 = tol + 1e-12 * std::abs(x), tol2 = 2.0 * tol1;
        if (std::abs(x - middle) <= tol2 - 0.5 * (b - a))
            break;
        bool parabolic = false;
        if (std::abs(e) > tol1) {
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0)
                p = -p;
            q = std::abs(q);
            const double previous = e;
            e = d;
            if (std::abs(p) < std::abs(0.5 * q * previous) && p > q * (a - x) && p < q * (b - x)) {
                d = p / q;
                if (x + d - a < tol2 || b - (x + d) < tol2)
                    d = middle > x ? tol1 : -tol1;
                parabolic = true;
            }
        }
        if (!parabolic) {
            e = x >= middle ? a - x : b - x;
            d = golden * e;
        }
        const double u = x + (std::abs(d) >= tol1 ? d : (d > 0.0 ? tol1 : -tol1));
        const double fu = f(u);
        if (fu <= fx) {
            (u >= x ? a : b) = x;
            v = w, fv = fw, w = x, fw = fx, x = u, fx = fu;
        } else {
            (u < x ? a : b) = u;
            if (fu <= fw || w == x) {
                v = w, fv = fw, w = u, fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u, fv = fu;
            }
        }
    }
    return {x, fx};
}

// The maximum of f on [lo, hi]: the best of steps + 1 grid points, then Brent's method between
// that point's neighbours, so a second hump elsewhere cannot draw the search. {argument, value}.
template <typename F>
std::pair<double, double> maximise(F f, double lo, double hi, int steps, double tol)
{
    const double h = (hi - lo) / steps;
    int best = 0;
    double best_value = -kInfinity;
    for (int i = 0; i <= steps; ++i)
        if (const double value = f(lo + i * h); value > best_value) {
            best = i;
            best_value = value;
        }
    const auto [arg, negated] = brent_minimum([&](double t) { return -f(t); },
                                              lo + std::max(best - 1, 0) * h,
                                              lo + std::min(best + 1, steps) * h, tol);
    if (-negated >= best_value)
        return {arg, -negated};
    return {lo + best * h, best_value};
}

}  // namespace

bool evenly_spaced(std::span<const double> x)
{
    if (x.size() < 3)
        return true;
    const double mean = (x.back() - x.front()) / static_cast<double>(x.size() - 1);
    for (std::size_t i = 1; i < x.size(); ++i)
        if (!(std::abs(x[i] - x[i - 1] - mean) <= kEvenSpacingTolerance * std::abs(mean)))
            return false;
    return true;
}

Profile ar1_profile(std::span<const double> residuals, std::span<const double> sigma, double phi)
{
    return ar1_at(ar1_sums(scaled(residuals, sigma)), phi);
}

Profile ou_profile(std::span<const double> x, std::span<const double> residuals,
                   std::span<const double> sigma, double tau)
{
    if (x.size() != residuals.size())
        throw std::invalid_argument("x and residuals: one each per point");
    return ou_at(scaled(residuals, sigma), gaps_of(x), tau);
}

NoiseFit fit_noise(std::span<const double> x, std::span<const double> residuals,
                   std::span<const double> sigma, NoiseModel model)
{
    if (x.size() != residuals.size())
        throw std::invalid_argument("x and residuals: one each per point");
    const Scaled s = scaled(residuals, sigma);
    const std::size_t n = s.e.size();
    double sum = 0.0;
    for (const double e : s.e)
        sum += e * e;
    NoiseFit fit;
    fit.log_likelihood = concentrated(sum, n) - s.log_sigma;
    fit.variance = n ? sum / static_cast<double>(n) : 0.0;
    if (model == NoiseModel::Independent)
        return fit;
    fit.parameters = 2;
    if (n < 3 || !(sum > 0.0))
        return fit;  // phi 0: too few points to tell, or no noise at all
    if (evenly_spaced(x)) {
        const Ar1Sums sums = ar1_sums(s);
        const double v = maximise([&](double t) { return ar1_at(sums, std::tanh(t)).log_likelihood; },
                                  -kMaxAtanhPhi, kMaxAtanhPhi, 15, 1e-7).first;
        fit.phi = std::tanh(v);
        const Profile p = ar1_at(sums, fit.phi);
        fit.log_likelihood = p.log_likelihood;
        fit.variance = p.variance;
        return fit;
    }
    // ln tau from where phi over the shortest gap is e^-20 (white) to where phi over the mean
    // gap is 0.9997 (close to a random walk), in steps of about 1.
    const Gaps g = gaps_of(x);
    const double lo = std::log(g.least) - 3.0, hi = std::log(g.mean) + 8.0;
    const int steps = std::max(4, static_cast<int>(std::ceil(hi - lo)));
    const auto likelihood = [&](double t) { return ou_at(s, g, std::exp(t)).log_likelihood; };
    const double tau = std::exp(maximise(likelihood, lo, hi, steps, 1e-4).first);
    const Profile p = ou_at(s, g, tau);
    fit.log_likelihood = p.log_likelihood;
    fit.variance = p.variance;
    fit.tau = tau;
    fit.phi = std::exp(-g.mean / tau);
    return fit;
}

std::vector<double> simulate_noise(std::span<const double> x, const NoiseFit& fit,
                                   std::span<const double> sigma, std::mt19937_64& random)
{
    const std::size_t n = x.size();
    if (!sigma.empty() && sigma.size() != n)
        throw std::invalid_argument("sigma: one per point, or none");
    std::normal_distribution<double> normal;
    std::vector<double> e(n);
    const double sd = std::sqrt(fit.variance);
    if (fit.tau) {
        const Gaps g = gaps_of(x);
        for (std::size_t i = 0; i < n; ++i) {
            if (i == 0) {
                e[i] = sd * normal(random);
                continue;
            }
            const double m = std::expm1(-g.gap[i] / *fit.tau);
            e[i] = (1.0 + m) * e[i - 1] + sd * std::sqrt(-m * (2.0 + m)) * normal(random);
        }
    } else {
        const double phi = fit.phi;
        for (std::size_t i = 0; i < n; ++i)
            e[i] = i == 0 ? sd / std::sqrt((1.0 - phi) * (1.0 + phi)) * normal(random)
                          : phi * e[i - 1] + sd * normal(random);
    }
    for (std::size_t i = 0; i < sigma.size(); ++i)
        e[i] *= sigma[i];
    return e;
}

}  // namespace tolvenar::compare
