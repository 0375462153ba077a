// SPDX-License-Identifier: GPL-3.0-or-later
// The refinement to a family's global optimum after a default search (10 x 1000) at 300, 1,000
// and 10,000 points; the optimum alone as the points grow to a million; and 200-replicate
// bootstraps of a "Simple ramp" at 300 and 1,000 points on every core, each replicate its own
// optimum (or, "search", a 10 x 1000 search and a refinement as --bootstrap-search runs them).
// Counter "excess" = the search's sum of squares over the refined one, minus 1.
#include "core/model/engine_state.h"
#include "core/refine/bootstrap.h"
#include "core/refine/optimum.h"
#include "core/search/search.h"

#include "bench_series.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <thread>

namespace {

using namespace tolvenar;

// A ramp from 0 to 1 between 30 % and 60 % of the crop on x = 0.01..0.01 n, with a ripple.
EngineState ramp_crop(int n)
{
    const double a = 0.003 * n, b = 0.006 * n;
    return bench::whole_crop_of(n, [=](double x) {
        return x < a ? 0.0 : x > b ? 1.0 : (x - a) / (b - a);
    });
}

EngineState searched(ModelFamily family, int n, std::vector<refine::Model>& bests)
{
    EngineState s = ramp_crop(n);
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
    SearchEngine().run(s, {family, 0, 10.0, 1000.0, 0.01f, 0.01f * static_cast<float>(n - 1)},
                       random, observer);
    return s;
}

void BM_Refine(benchmark::State& bench)
{
    const auto family = static_cast<ModelFamily>(bench.range(0));
    const auto n = static_cast<int>(bench.range(1));
    std::vector<refine::Model> bests;
    const EngineState s = searched(family, n, bests);
    refine::RefinedFit fit;
    for (auto _ : bench) {
        fit = refine::refine_fit(fit_crop(s), {family, false, {s.BestOfBestX, s.BestOfBestY}, bests});
        benchmark::DoNotOptimize(fit.sq_dist);
    }
    bench.SetLabel(std::string(family_caption(family)));
    bench.counters["excess"] = s.BestOfBestSqDist / fit.sq_dist - 1.0f;
}
BENCHMARK(BM_Refine)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 6, 1), {300, 1000, 10000}})
    ->Unit(benchmark::kMillisecond);

// The optimum alone on n points of a noisy ramp, one thread: its cost as n grows.
void BM_Optimum(benchmark::State& bench)
{
    const auto family = static_cast<ModelFamily>(bench.range(0));
    const auto n = static_cast<std::size_t>(bench.range(1));
    std::vector<double> t(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<double>(i) / static_cast<double>(n - 1);
        y[i] = std::clamp((t[i] - 0.3) / 0.3, 0.0, 1.0) + 0.05 * std::sin(37.0 * static_cast<double>(i));
    }
    const FamilyShape shape = family_shape(family, node_count_of(family));
    refine::OptimumProblem p{t, y, {}, shape, 0.0, 1.0};
    p.lower.assign(shape.moved.size(), 0.0), p.upper.assign(shape.moved.size(), 1.0);
    p.level_lower.assign(shape.levels(), -INFINITY), p.level_upper.assign(shape.levels(), INFINITY);
    refine::OptimumResult result;
    for (auto _ : bench) {
        result = refine::global_optimum(p);
        benchmark::DoNotOptimize(result.minima.data());
    }
    bench.SetLabel(std::string(family_caption(family)) + (result.exhaustive ? ", every corner" : ", grid"));
    bench.counters["grid"] = static_cast<double>(result.grid);
}
BENCHMARK(BM_Optimum)
    ->ArgsProduct({benchmark::CreateDenseRange(1, 6, 1), {1000, 10000, 100000, 1000000}})
    ->Unit(benchmark::kMillisecond);

void BM_Bootstrap200(benchmark::State& bench)
{
    const auto n = static_cast<int>(bench.range(0));
    std::vector<refine::Model> bests;
    const EngineState s = searched(ModelFamily::SimpleRamp, n, bests);
    const refine::RefinedFit fit = refine::refine_fit(
        fit_crop(s), {ModelFamily::SimpleRamp, false, {s.BestOfBestX, s.BestOfBestY}, bests});
    refine::BootstrapSettings settings;
    settings.scale_left = 0.01f;
    settings.scale_width = 0.01f * static_cast<float>(n - 1);
    settings.search = bench.range(1) != 0;
    for (auto _ : bench) {
        const refine::BootstrapResult result = refine::bootstrap(fit_crop(s), fit, settings);
        benchmark::DoNotOptimize(result.x[2].lo);
    }
    bench.SetLabel(settings.search ? "search" : "optimum");
    bench.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(BM_Bootstrap200)
    ->Args({300, 0})
    ->Args({1000, 0})
    ->Args({300, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace
