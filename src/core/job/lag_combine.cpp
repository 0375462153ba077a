// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/lag_combine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tolvenar {

namespace {

// The standard normal quantile (Acklam's rational approximation, one Newton step on erfc:
// good to double precision over the levels intervals are asked at).
double normal_quantile(double p)
{
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                   -2.759285104469687e+02, 1.383577518672690e+02,
                                   -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                   -1.556989798598866e+02, 6.680131188771972e+01,
                                   -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                   -2.400758277161838e+00, -2.549732539343734e+00,
                                   4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                   2.445134137142996e+00, 3.754408661907416e+00};
    const double low = 0.02425;
    double x = 0.0;
    if (p < low) {
        const double q = std::sqrt(-2.0 * std::log(p));
        x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
            ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    } else if (p <= 1.0 - low) {
        const double q = p - 0.5;
        const double r = q * q;
        x = (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
            (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
    } else {
        return -normal_quantile(1.0 - p);
    }
    const double e = 0.5 * std::erfc(-x / std::sqrt(2.0)) - p;
    const double u = e * std::sqrt(2.0 * M_PI) * std::exp(x * x / 2.0);
    return x - u / (1.0 + x * u / 2.0);
}

// The weighted mean of the lags, taken as the first plus the weighted deviations from it, so
// that equal lags give that lag exactly; and its standard error.
struct Mean {
    double value = 0.0;
    double error = 0.0;
};
Mean weighted_mean(std::span<const EventLag> events, const std::vector<double>& variance,
                   double between)
{
    double weights = 0.0, deviations = 0.0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const double w = 1.0 / (variance[i] + between);
        weights += w;
        deviations += w * (events[i].lag - events.front().lag);
    }
    return {events.front().lag + deviations / weights, std::sqrt(1.0 / weights)};
}

}  // namespace

CombinedLag combine_lags(std::span<const EventLag> events, double level)
{
    CombinedLag combined;
    combined.events = events.size();
    if (events.empty())
        return combined;
    const double z = normal_quantile(0.5 + level / 2.0);
    std::vector<double> variance;
    double narrowest = std::numeric_limits<double>::infinity();
    for (const EventLag& event : events) {
        const double sd = (event.interval.hi - event.interval.lo) / (2.0 * z);
        variance.push_back(sd * sd);
        if (sd > 0.0)
            narrowest = std::min(narrowest, sd * sd);
    }
    if (!std::isfinite(narrowest)) {
        // No event has a spread of its own (noise-free fits): the plain mean, and the scatter
        // between the events as all there is to an interval.
        const Mean mean = weighted_mean(events, std::vector<double>(events.size(), 1.0), 0.0);
        combined.lag = mean.value;
        combined.interval = {mean.value, mean.value};
        double squares = 0.0;
        for (const EventLag& event : events)
            squares += (event.lag - mean.value) * (event.lag - mean.value);
        const double k = static_cast<double>(events.size());
        combined.between = events.size() > 1 ? squares / (k - 1.0) : 0.0;
        const double half = z * std::sqrt(combined.between / k);
        combined.spread_interval = {mean.value - half, mean.value + half};
        return combined;
    }
    for (double& v : variance)
        v = std::max(v, narrowest * 1e-6);

    const Mean fixed = weighted_mean(events, variance, 0.0);
    combined.lag = fixed.value;
    combined.interval = {fixed.value - z * fixed.error, fixed.value + z * fixed.error};

    // DerSimonian and Laird's moment estimate of the variance between events, from Cochran's Q.
    double q = 0.0, w1 = 0.0, w2 = 0.0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const double w = 1.0 / variance[i];
        q += w * (events[i].lag - fixed.value) * (events[i].lag - fixed.value);
        w1 += w;
        w2 += w * w;
    }
    const double k = static_cast<double>(events.size());
    if (events.size() > 1 && w1 * w1 > w2)
        combined.between = std::max(0.0, (q - (k - 1.0)) / (w1 - w2 / w1));
    const Mean random = weighted_mean(events, variance, combined.between);
    combined.spread_interval = {random.value - z * random.error, random.value + z * random.error};
    return combined;
}

std::vector<CombinedRow> combine_over_events(std::span<const std::vector<Lag>> events,
                                             double level)
{
    std::vector<CombinedRow> rows;
    std::vector<std::vector<EventLag>> lags;
    for (const std::vector<Lag>& file : events)
        for (const Lag& lag : file) {
            if (!lag.interval)
                continue;
            const auto row = std::find_if(rows.begin(), rows.end(), [&](const CombinedRow& r) {
                return r.series == lag.series && r.to == lag.to && r.vertex == lag.vertex;
            });
            const auto i = static_cast<std::size_t>(row - rows.begin());
            if (row == rows.end()) {
                rows.push_back({lag.series, lag.to, lag.vertex, {}});
                lags.emplace_back();
            }
            lags[i].push_back({lag.lag, *lag.interval});
        }
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].combined = combine_lags(lags[i], level);
    return rows;
}

}  // namespace tolvenar
