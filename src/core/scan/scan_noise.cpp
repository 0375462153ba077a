// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/scan_noise.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tolvenar::scan {

namespace {

// Median of chi-square with one degree of freedom: the median of e^2 / sigma^2 for Gaussian e.
constexpr double kMedianChiSquare1 = 0.45493642311957;
// The second pass drops differences beyond 4 standard deviations of the first (steps, ramps);
// a Gaussian loses 6e-5 of its values there and 0.1 % of its variance.
constexpr double kOutlierChiSquare = 16.0;

// Differences over a gap: e = the change of y less a background slope times the gap; `kept` marks
// those the second pass uses.
struct Differences {
    std::vector<double> e, gap;
    std::vector<char> kept;
};

Differences differences(std::span<const double> x, std::span<const double> y, std::size_t lag,
                        double slope)
{
    Differences d;
    for (std::size_t i = lag; i < x.size(); ++i) {
        d.gap.push_back(x[i] - x[i - lag]);
        d.e.push_back(y[i] - y[i - lag] - slope * d.gap.back());
    }
    d.kept.assign(d.e.size(), 1);
    return d;
}

// e^2 / (2 (1 - exp(-gap / tau))): the marginal variance one difference implies at persistence
// tau (its expectation).
double implied(const Differences& d, std::size_t i, double tau)
{
    const double r = tau > 0.0 ? -std::expm1(-d.gap[i] / tau) : 1.0;
    return d.e[i] * d.e[i] / (2.0 * r);
}

// The first pass: the median of what the differences imply, over at most kFirstPassSize of them
// taken evenly (it only tells the outliers apart).
constexpr std::size_t kFirstPassSize = 20000;

double median_implied(const Differences& d, double tau)
{
    const std::size_t stride = std::max<std::size_t>(1, d.e.size() / kFirstPassSize);
    std::vector<double> v;
    for (std::size_t i = 0; i < d.e.size(); i += stride)
        v.push_back(implied(d, i, tau));
    auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle / kMedianChiSquare1;
}

// The second pass: their mean over those kept.
double mean_implied(const Differences& d, double tau)
{
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < d.e.size(); ++i)
        if (d.kept[i]) {
            sum += implied(d, i, tau);
            ++count;
        }
    return count ? sum / static_cast<double>(count) : 0.0;
}

// For the true tau both lags imply the same marginal variance; below it the neighbours'
// differences imply less than the wider ones, above it more. Bisection on ln tau between the
// bounds; 0 when even the least persistence has the neighbours imply more (white or negatively
// correlated noise).
template <typename Variance>
double matching_tau(double least, double most, Variance variance)
{
    auto mismatch = [&](double tau) { return std::log(variance(0, tau) / variance(1, tau)); };
    if (!(mismatch(least) < 0.0))
        return 0.0;
    if (!(mismatch(most) > 0.0))
        return most;
    double lo = std::log(least), hi = std::log(most);
    for (int i = 0; i < 40; ++i) {
        const double mid = 0.5 * (lo + hi);
        (mismatch(std::exp(mid)) < 0.0 ? lo : hi) = mid;
    }
    return std::exp(0.5 * (lo + hi));
}

// The noise of the differences left by a background of `slope`.
NoiseEstimate noise_about(std::span<const double> x, std::span<const double> y, double slope,
                          double least, double most, double mean_gap)
{
    Differences lags[2] = {differences(x, y, 1, slope), differences(x, y, 2, slope)};
    const double first = matching_tau(least, most, [&](int lag, double tau) {
        return median_implied(lags[lag], tau);
    });
    for (Differences& d : lags) {
        const double scale = median_implied(d, first);
        for (std::size_t i = 0; i < d.e.size(); ++i)
            d.kept[i] = implied(d, i, first) <= kOutlierChiSquare * scale;
    }
    NoiseEstimate noise;
    noise.tau = matching_tau(least, most, [&](int lag, double tau) {
        return mean_implied(lags[lag], tau);
    });
    noise.variance = mean_implied(lags[0], noise.tau);
    noise.phi = noise.tau > 0.0 ? std::exp(-mean_gap / noise.tau) : 0.0;
    return noise;
}

}  // namespace

NoiseEstimate estimate_noise(std::span<const double> x, std::span<const double> y)
{
    const std::size_t n = x.size();
    if (n < 4 || y.size() != n)
        return {};
    const double span = x.back() - x.front();
    const double mean_gap = span / static_cast<double>(n - 1);
    const double least = 1e-3 * mean_gap, most = -mean_gap / std::log(kMaxPersistence);
    const double slope = (y.back() - y.front()) / span;
    const NoiseEstimate mean = noise_about(x, y, slope, least, most, mean_gap);
    if (mean.tau < most)
        return mean;
    // Beyond the most persistence the differences drift alike: on a quiet record the mean slope
    // is an event's rise, and the offset it leaves on every step of the flat background reads as
    // persistence. The median step's slope is that background's.
    std::vector<double> steps;
    for (std::size_t i = 1; i < n; ++i)
        steps.push_back((y[i] - y[i - 1]) / (x[i] - x[i - 1]));
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
    std::nth_element(steps.begin(), middle, steps.end());
    const NoiseEstimate median = noise_about(x, y, *middle, least, most, mean_gap);
    return median.variance < mean.variance ? median : mean;
}

}  // namespace tolvenar::scan
