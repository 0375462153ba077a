// SPDX-License-Identifier: GPL-3.0-or-later
// Whole searches with the command line's empty observer, "Simple ramp" (the command line's
// default family): 10 runs x 10,000 trials on 1,000 points and 10 runs x 1,000 trials on 32,767
// points, on one thread and on every core ("threads:0"). Counter "trials/s" = candidates drawn
// and scored per second of wall time.
#include "core/model/engine_state.h"
#include "core/search/search.h"

#include "bench_series.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>

namespace {

using namespace tolvenar;

// A noisy step between two levels over n points, cropped whole.
EngineState event_crop(int n)
{
    return bench::whole_crop_of(
        n, [n](double x) { return 1.0 / (1.0 + std::exp(-(x - 0.005 * n) * 4.0)); });
}

void search(benchmark::State& bench)
{
    const auto points = static_cast<int>(bench.range(0));
    const auto trials = static_cast<double>(bench.range(1));
    const auto threads = static_cast<int>(bench.range(2));
    const EngineState fresh = event_crop(points);
    const SearchRequest settings{ModelFamily::SimpleRamp, 0, 10.0, trials, 0.01f,
                                  0.01f * static_cast<float>(points - 1)};
    SearchObserver quiet;
    SearchEngine engine;
    if (threads > 0)
        engine.set_threads(threads);
    for (auto _ : bench) {
        bench.PauseTiming();
        EngineState state = fresh;
        forget_best_of_best(state);
        RandomSource random;
        bench.ResumeTiming();
        const SearchOutcome outcome = engine.run(state, settings, random, quiet);
        if (outcome.end != SearchEnd::Completed)
            bench.SkipWithError("search did not complete");
        benchmark::DoNotOptimize(state.BestOfBestSqDist);
    }
    bench.counters["trials/s"] = benchmark::Counter(
        static_cast<double>(bench.iterations()) * 10.0 * trials, benchmark::Counter::kIsRate);
    bench.SetLabel(std::to_string(engine.threads()) + " threads");
}

BENCHMARK(search)
    ->ArgNames({"points", "trials", "threads"})
    ->Args({1000, 10000, 1})
    ->Args({1000, 10000, 0})
    ->Args({32767, 1000, 1})
    ->Args({32767, 1000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
