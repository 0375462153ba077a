// SPDX-License-Identifier: GPL-3.0-or-later
// The comparison's own statistics on 1,000 points with AR(1) noise (phi 0.6), on even x and on
// uneven x (the continuous-time form): one noise fit, and a 199-replicate event test on two
// threads whose "event family" is the straight line, a stand-in that costs next to nothing, so
// that the figure is the simulation, null refits and likelihoods alone. Then the whole
// comparison of the six families on 1,000 points, its 199-replicate test included, on two
// threads: on a constant and on a plateau event, both with AR(1) noise.
#include "core/compare/event_test.h"
#include "core/compare/noise.h"
#include "core/session/family_comparison.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

using namespace tolvenar::compare;

constexpr std::size_t kPoints = 1000;

// x = 0, 1, 2, ... or gaps drawn from 0.2..1.8; y a constant plus AR(1) noise of phi 0.6 a step.
std::pair<std::vector<double>, std::vector<double>> series(bool uneven)
{
    std::mt19937_64 random(17);
    std::vector<double> x(kPoints, 0.0);
    for (std::size_t i = 1; i < kPoints; ++i)
        x[i] = x[i - 1] + (uneven ? 0.2 + 1.6 * std::uniform_real_distribution<double>()(random) : 1.0);
    NoiseFit model;
    model.variance = 1.0;
    model.phi = 0.6;
    if (uneven)
        model.tau = 1.0 / -std::log(0.6);
    return {x, simulate_noise(x, model, {}, random)};
}

void BM_FitNoise(benchmark::State& bench)
{
    const auto [x, y] = series(bench.range(0) != 0);
    for (auto _ : bench)
        benchmark::DoNotOptimize(fit_noise(x, y).log_likelihood);
}
BENCHMARK(BM_FitNoise)->ArgName("uneven")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_EventTest(benchmark::State& bench)
{
    const auto [x, y] = series(bench.range(0) != 0);
    const NullFit null = fit_null("constant", x, y);
    const NullFit line = fit_null("line", x, y);
    const EventRefit refit = [](std::span<const double> rx, std::span<const double> ry) {
        return std::optional(fit_null("line", rx, ry).residuals);
    };
    for (auto _ : bench)
        benchmark::DoNotOptimize(event_test(x, {}, null, line.residuals, refit, {199, 5489, 2}).p);
}
BENCHMARK(BM_EventTest)->ArgName("uneven")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompareFamilies(benchmark::State& bench)
{
    auto [x, y] = series(false);
    if (bench.range(0) != 0)
        for (std::size_t i = 0; i < kPoints; ++i)  // up from 300 to 350, down from 650 to 700
            y[i] += 4.0 * std::clamp(std::min(x[i] - 300.0, 700.0 - x[i]) / 50.0, 0.0, 1.0);
    tolvenar::ComparisonRequest request;
    request.right = x.back();
    request.threads = 2;
    for (auto _ : bench)
        benchmark::DoNotOptimize(tolvenar::compare_crop(x, y, {}, request).comparison.chosen);
}
BENCHMARK(BM_CompareFamilies)->ArgName("event")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
