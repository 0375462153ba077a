// SPDX-License-Identifier: GPL-3.0-or-later
// The event scan's speed: the whole scan (noise estimate, segmentation, events) of the realistic
// 60-kyr record (about 4,500 points), of 5,000 points of red noise alone (no break: the exact
// segmentation's slowest case), and of a million points of a sensor log with a switch every few
// thousand points (segmented on block means). Then the whole scan job on the same series: every
// event refined and bootstrapped (200 replicates) on its own crop, on the cores given (--threads
// as the argument), and the million points refined without intervals.
#include "core/data/data_reader.h"
#include "core/job/scan_job.h"
#include "core/scan/scan.h"
#include "scan_records.h"

#include <benchmark/benchmark.h>

namespace {

using namespace tolvenar;

void report(benchmark::State& state, const bench::Record& r)
{
    scan::ScanResult result;
    for (auto _ : state) {
        result = scan::scan_series(r.x, r.y);
        benchmark::DoNotOptimize(result.events.data());
    }
    state.counters["points"] = static_cast<double>(r.x.size());
    state.counters["breaks"] = static_cast<double>(result.segmentation.knots.size() - 2);
    state.counters["events"] = static_cast<double>(result.events.size());
    state.counters["candidates_per_point"] =
        static_cast<double>(result.segmentation.work) /
        static_cast<double>(result.segmentation.knots.empty() ? 1 : result.segmentation.knots.back() + 1);
}

void BM_ScanGreenlandLike(benchmark::State& state)
{
    report(state, bench::greenland_like_record(1));
}
BENCHMARK(BM_ScanGreenlandLike)->Unit(benchmark::kMillisecond);

void BM_ScanRedNoiseAlone(benchmark::State& state)
{
    std::mt19937_64 random(3);
    const auto n = static_cast<std::size_t>(state.range(0));
    report(state, bench::make_record({n, false, 2.0, 0.0, {}}, random));
}
BENCHMARK(BM_ScanRedNoiseAlone)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);


bench::Record sensor_log(std::size_t n)
{
    std::mt19937_64 random(5);
    bench::RecordPlan plan{n, false, 3.0, 4.0, {}};
    for (std::size_t k = 0; 2500 * (k + 1) < n; ++k) {
        const double at = 2500.0 * static_cast<double>(k) + 1000.0;
        plan.transitions.push_back({at, at + static_cast<double>(k % 4) * 10.0, k % 2 ? -6.0 : 6.0});
    }
    return bench::make_record(plan, random);
}

void BM_ScanSensorLog(benchmark::State& state)
{
    report(state, sensor_log(static_cast<std::size_t>(state.range(0))));
}
BENCHMARK(BM_ScanSensorLog)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The scan job on `r`, each event refined and bootstrapped with `replicates`, on
// state.range(0) cores.
void job(benchmark::State& state, const bench::Record& r, std::int32_t replicates)
{
    const CheckedImport imported = import_data_arrays(r.x, r.y);
    ScanRequest request;
    request.fit.refine = true;
    request.fit.bootstrap = replicates;
    JobControl control;
    control.threads = static_cast<int>(state.range(0));
    ScanRecord record;
    for (auto _ : state) {
        record = scan_events(imported, request, "", control);
        benchmark::DoNotOptimize(record.events.data());
    }
    state.counters["points"] = static_cast<double>(r.x.size());
    state.counters["events"] = static_cast<double>(record.events.size());
}

void BM_ScanJobGreenlandLike(benchmark::State& state)
{
    job(state, bench::greenland_like_record(1), 200);
}
BENCHMARK(BM_ScanJobGreenlandLike)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanJobSensorLog5000(benchmark::State& state)
{
    job(state, sensor_log(5000), 200);
}
BENCHMARK(BM_ScanJobSensorLog5000)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanJobRedNoiseAlone(benchmark::State& state)
{
    std::mt19937_64 random(3);
    job(state, bench::make_record({5000, false, 2.0, 0.0, {}}, random), 200);
}
BENCHMARK(BM_ScanJobRedNoiseAlone)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanJobSensorLogRefined(benchmark::State& state)
{
    job(state, sensor_log(1000000), 0);
}
BENCHMARK(BM_ScanJobSensorLogRefined)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
