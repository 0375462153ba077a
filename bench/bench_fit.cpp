// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting + GetSqDist per candidate over 100 to 32,767 cropped points: the batched scorer of the
// search (sixteen candidates at a time), the one-candidate scorer and the straightforward
// reference loop; the first two also with weights 1 / sigma^2 (*Weighted). Counter "points/s" =
// point evaluations per second, on one core.
#include "core/model/fit.h"
#include "core/model/fit_batch.h"
#include "core/model/generate.h"

#include "bench_series.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

using namespace tolvenar;

// A noisy rise and return over n points, cropped whole; weighted: sigma 0.05..0.09 by row.
EngineState event_crop(int n, bool weighted = false)
{
    EngineState state = bench::whole_crop_of(n, [n](double x) {
        return std::exp(-std::pow((x - 0.005 * n) / (0.002 * n), 2.0));
    });
    if (weighted)
        for (int row = 0; row <= n + 1; ++row)
            state.DataWeight.push_back(1.0 / std::pow(0.05 + 0.01 * (row % 5), 2.0));
    return state;
}

// Free "Event with duration" candidates scaled to the crop, as the search draws them.
std::vector<std::pair<Vertices, Vertices>> candidates(EngineState& state, int n)
{
    RandomSource random;
    GenerateControls controls{ModelFamily::EventWithDuration, 0, 0.0f,
                              static_cast<float>(0.01 * n)};
    std::vector<std::pair<Vertices, Vertices>> result;
    for (int c = 0; c < 64; ++c) {
        GenerateModel(state, controls, random);
        scale_model_to_plot(state, controls.scale_left, controls.scale_width);
        result.emplace_back(state.ModelX, state.ModelY);
    }
    return result;
}

template <bool Fast, bool Weighted = false>
void fit_and_score(benchmark::State& bench)
{
    const int n = static_cast<int>(bench.range(0));
    EngineState state = event_crop(n, Weighted);
    const auto models = candidates(state, n);
    CropScorer scorer;
    std::size_t c = 0;
    for (auto _ : bench) {
        state.ModelX = models[c].first;
        state.ModelY = models[c].second;
        c = (c + 1) % models.size();
        if constexpr (Fast) {
            scorer.fit_and_score(state);
        } else {
            Fitting(state);
            GetSqDist(state);
        }
        benchmark::DoNotOptimize(state.SqDist);
    }
    bench.counters["points/s"] =
        benchmark::Counter(static_cast<double>(bench.iterations()) * n,
                           benchmark::Counter::kIsRate);
}

void BM_FitAndScore(benchmark::State& bench) { fit_and_score<true>(bench); }
void BM_FitAndScoreWeighted(benchmark::State& bench) { fit_and_score<true, true>(bench); }
void BM_FitAndScoreReference(benchmark::State& bench) { fit_and_score<false>(bench); }

// The 64 candidates in a row, as a search scores them: `points` points, the lane variant
// `variant` (lane_variants(), narrowest first; -1 the widest, which the search takes).
void batch_scorer(benchmark::State& bench, int n, int variant, bool weighted = false)
{
    EngineState state = event_crop(n, weighted);
    const auto models = candidates(state, n);
    std::vector<Vertices> x, y;
    for (const auto& [mx, my] : models)
        x.push_back(mx), y.push_back(my);
    const auto& variants = lane_variants();
    const LaneVariant& lanes =
        variant < 0 ? variants.back() : variants[static_cast<std::size_t>(variant)];
    BatchScorer scorer(lanes.function);
    if (!scorer.read_crop(state))
        bench.SkipWithError("crop not read");
    const std::vector<float> before(state.CropModel.begin() + 1, state.CropModel.end());
    std::vector<float> kept, sums(x.size());
    for (auto _ : bench) {
        kept = before;
        scorer.score(x.data(), y.data(), static_cast<int>(x.size()), kept, sums.data());
        benchmark::DoNotOptimize(sums.data());
    }
    bench.counters["points/s"] = benchmark::Counter(
        static_cast<double>(bench.iterations()) * static_cast<double>(x.size()) * n,
        benchmark::Counter::kIsRate);
    bench.SetLabel(lanes.name);
}

void BM_BatchScorer(benchmark::State& bench)
{
    batch_scorer(bench, static_cast<int>(bench.range(0)), -1);
}

void BM_BatchScorerWeighted(benchmark::State& bench)
{
    batch_scorer(bench, static_cast<int>(bench.range(0)), -1, true);
}

// Each variant this processor runs, at 1,000 points: what a processor without the wider
// instruction sets gets.
void BM_LaneVariant(benchmark::State& bench)
{
    if (static_cast<std::size_t>(bench.range(0)) >= lane_variants().size())
        return bench.SkipWithError("not run by this processor");
    batch_scorer(bench, 1000, static_cast<int>(bench.range(0)));
}

BENCHMARK(BM_BatchScorer)->Arg(100)->Arg(1000)->Arg(10000)->Arg(32767);
BENCHMARK(BM_LaneVariant)->DenseRange(0, 2);
BENCHMARK(BM_BatchScorerWeighted)->Arg(100)->Arg(1000)->Arg(10000)->Arg(32767);
BENCHMARK(BM_FitAndScore)->Arg(100)->Arg(1000)->Arg(10000)->Arg(32767);
BENCHMARK(BM_FitAndScoreWeighted)->Arg(1000)->Arg(32767);
BENCHMARK(BM_FitAndScoreReference)->Arg(1000);

}  // namespace
