// SPDX-License-Identifier: GPL-3.0-or-later
// A whole default search (10 runs x 1000 trials) over a 1,000- and a 100,000-point crop with
// the command line's empty observer. Counter "trials/s" = candidates generated and scored per
// second.
#include "core/model/boxes.h"
#include "core/search/search.h"

#include "bench_series.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace tolvenar;

// A noisy step between two levels over n points, cropped whole.
EngineState event_crop(int n)
{
    return bench::whole_crop_of(
        n, [n](double x) { return 1.0 / (1.0 + std::exp(-(x - 0.005 * n) * 4.0)); });
}

void default_search(benchmark::State& bench, ModelFamily family)
{
    const auto points = static_cast<int>(bench.range(0));
    const EngineState fresh = event_crop(points);
    const SearchSettings settings{family, 0, 10.0, 1000.0, 0.01f,
                                  0.01f * static_cast<float>(points - 1)};
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
        benchmark::Counter(static_cast<double>(bench.iterations()) * 10000.0 * points,
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

BENCHMARK(BM_DefaultSearchSimpleRamp)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DefaultSearchEventWithDuration)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
