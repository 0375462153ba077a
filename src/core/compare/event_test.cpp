// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/compare/event_test.h"

#include "core/compare/noise.h"
#include "core/runtime/pool.h"
#include "core/runtime/random_source.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace tolvenar::compare {

double likelihood_ratio(std::span<const double> x, std::span<const double> sigma,
                        std::span<const double> null_residuals,
                        std::span<const double> event_residuals)
{
    return 2.0 * (fit_noise(x, event_residuals, sigma).log_likelihood -
                  fit_noise(x, null_residuals, sigma).log_likelihood);
}

double bootstrap_p(std::span<const double> lr, double observed)
{
    std::size_t count = 0, above = 0;
    for (const double v : lr)
        if (std::isfinite(v)) {
            ++count;
            above += v >= observed ? 1 : 0;
        }
    return static_cast<double>(1 + above) / static_cast<double>(1 + count);
}

EventTestResult event_test(std::span<const double> x, std::span<const double> sigma,
                           const NullFit& null, std::span<const double> event_residuals,
                           const EventRefit& refit, const EventTestSettings& settings)
{
    EventTestResult result;
    result.null_name = null.name;
    result.observed_lr = likelihood_ratio(x, sigma, null.residuals, event_residuals);
    const NoiseFit noise = fit_noise(x, null.residuals, sigma);
    std::vector<double> curve(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        curve[i] = null.at(x[i]);

    const std::size_t count = settings.replicates;
    result.lr.assign(count, std::numeric_limits<double>::quiet_NaN());
    std::atomic<bool> skipped{false};  // the stop flag came before a replicate
    parallel_for(count, settings.threads, [&](std::size_t b) {
        if (settings.stop && settings.stop->load()) {
            skipped = true;
            return;
        }
        std::mt19937_64 random(stream_key(settings.seed, b));
        std::vector<double> y = simulate_noise(x, noise, sigma, random);
        for (std::size_t i = 0; i < y.size(); ++i)
            y[i] += curve[i];
        const NullFit null_fit = fit_null(null.name, x, y, sigma);
        const std::optional<std::vector<double>> event = refit(x, y);
        if (event && event->size() == y.size())
            result.lr[b] = likelihood_ratio(x, sigma, null_fit.residuals, *event);
        if (settings.done)
            ++*settings.done;
    });
    result.replicates = static_cast<std::size_t>(
        std::count_if(result.lr.begin(), result.lr.end(), [](double v) { return std::isfinite(v); }));
    result.stopped = skipped;
    result.p = bootstrap_p(result.lr, result.observed_lr);
    return result;
}

}  // namespace tolvenar::compare
