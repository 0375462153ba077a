// SPDX-License-Identifier: GPL-3.0-or-later
// Refinement of a default search's best (10 x 1000) on a 1,000-point crop, per family, and a
// 200-replicate bootstrap of a "Simple ramp" on it (each replicate a 10 x 1000 search and a
// refinement), on every core. Counter "excess" = the search's sum of squares over the refined
// one, minus 1.
#include "core/model/boxes.h"
#include "core/refine/bootstrap.h"
#include "core/search/search.h"

#include "bench_series.h"

#include <benchmark/benchmark.h>

#include <thread>

namespace {

using namespace tolvenar;

constexpr int kPoints = 1000;

// A ramp from 0 to 1 between x = 3 and x = 6 on x = 0.01..10, with a ripple.
EngineState ramp_crop()
{
    EngineState s = bench::whole_crop_of(kPoints, [](double x) {
        return x < 3.0 ? 0.0 : x > 6.0 ? 1.0 : (x - 3.0) / 3.0;
    });
    s.NodeCount = node_count_of(ModelFamily::SimpleRamp);
    return s;
}

EngineState searched(ModelFamily family, std::vector<refine::Model>& bests)
{
    EngineState s = ramp_crop();
    s.NodeCount = node_count_of(family);
    forget_best_of_best(s);
    struct : SearchObserver {
        std::vector<refine::Model>* out;
        void run_finished(const SearchView& view, std::int16_t) override
        {
            out->push_back(view.run_best());
        }
    } observer;
    observer.out = &bests;
    RandomSource random;
    SearchEngine().run(s, {family, 0, 10.0, 1000.0, 0.01f, 0.01f * (kPoints - 1)}, random,
                       observer);
    return s;
}

void BM_Refine(benchmark::State& bench)
{
    const auto family = static_cast<ModelFamily>(bench.range(0));
    std::vector<refine::Model> bests;
    const EngineState s = searched(family, bests);
    refine::RefinedFit fit;
    for (auto _ : bench) {
        fit = refine::refine_fit(s, {family, false, {s.BestOfBestX, s.BestOfBestY}, bests});
        benchmark::DoNotOptimize(fit.sq_dist);
    }
    bench.SetLabel(std::string(family_caption(family)));
    bench.counters["excess"] = s.BestOfBestSqDist / fit.sq_dist - 1.0f;
}
BENCHMARK(BM_Refine)->DenseRange(1, 6)->Unit(benchmark::kMillisecond);

void BM_Bootstrap200(benchmark::State& bench)
{
    std::vector<refine::Model> bests;
    const EngineState s = searched(ModelFamily::SimpleRamp, bests);
    const refine::RefinedFit fit = refine::refine_fit(
        s, {ModelFamily::SimpleRamp, false, {s.BestOfBestX, s.BestOfBestY}, bests});
    refine::BootstrapSettings settings;
    settings.scale_left = 0.01f;
    settings.scale_width = 0.01f * (kPoints - 1);
    for (auto _ : bench) {
        const refine::BootstrapResult result = refine::bootstrap(s, fit, settings);
        benchmark::DoNotOptimize(result.x[2].lo);
    }
    bench.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(BM_Bootstrap200)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
