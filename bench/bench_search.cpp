// SPDX-License-Identifier: GPL-3.0-or-later
// A whole default search (10 runs x 1000 trials) over a 1,000-point crop with the command
// line's empty observer. Counter "trials/s" = candidates generated and scored per second.
#include "core/model/boxes.h"
#include "core/search/search.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace tolvenar;

EngineState event_crop(int n)
{
    EngineState state;
    state.data.DataX.assign(static_cast<std::size_t>(n) + 2, Cell::empty());
    state.data.DataY.assign(static_cast<std::size_t>(n) + 2, Cell::empty());
    state.data.DataCount = n;
    for (int i = 1; i <= n; ++i) {
        const double x = 0.01 * i;
        const double y = 1.0 / (1.0 + std::exp(-(x - 0.005 * n) * 4.0)) + 0.05 * std::sin(37.0 * i);
        state.data.DataX[static_cast<std::size_t>(i)] = Cell::of_number(x);
        state.data.DataY[static_cast<std::size_t>(i)] = Cell::of_number(y);
    }
    state.CropStart = 0;
    state.CropEnd = n;
    state.CropCount = static_cast<std::int16_t>(n);
    state.CropObserved.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    state.CropModel.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    state.CropMinY = -0.05f;
    state.CropMaxY = 1.05f;
    return state;
}

void default_search(benchmark::State& bench, ModelFamily family)
{
    constexpr int kPoints = 1000;
    const EngineState fresh = event_crop(kPoints);
    const SearchSettings settings{family, 0, "10", "1000", 0.01f, 0.01f * (kPoints - 1)};
    RandomSource random;
    SearchObserver quiet;
    SearchEngine engine;
    for (auto _ : bench) {
        bench.PauseTiming();
        EngineState state = fresh;
        forget_best_of_best(state);
        bench.ResumeTiming();
        const SearchOutcome outcome = engine.run(state, settings, random, quiet);
        if (outcome.end != SearchEnd::Completed)
            bench.SkipWithError("search did not complete");
        benchmark::DoNotOptimize(state.BestOfBestSqDist);
    }
    bench.counters["trials/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * 10000.0,
                           benchmark::Counter::kIsRate);
    bench.counters["points/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * 10000.0 * kPoints,
                           benchmark::Counter::kIsRate);
}

void BM_DefaultSearchSimpleRamp(benchmark::State& bench)
{
    default_search(bench, ModelFamily::SimpleRamp);
}

void BM_DefaultSearchEventWithDuration(benchmark::State& bench)
{
    default_search(bench, ModelFamily::EventWithDuration);
}

BENCHMARK(BM_DefaultSearchSimpleRamp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultSearchEventWithDuration)->Unit(benchmark::kMillisecond);

}  // namespace
