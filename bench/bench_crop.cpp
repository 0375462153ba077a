// SPDX-License-Identifier: GPL-3.0-or-later
// One crop (extraction and measurement) on a 1,000,000-row table, as the window runs it on
// every mouse move of a drag: bisecting on ascending x, and the plain loops for comparison.
#include "core/window/crop.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kRows = 1'000'000;

tolvenar::EngineState million_row_state(bool ascending)
{
    tolvenar::EngineState state;
    tolvenar::DataTable& table = state.data;
    table.DataX.reserve(kRows + 2);
    table.DataY.reserve(kRows + 2);
    table.DataX.push_back(tolvenar::Cell::empty());
    table.DataY.push_back(tolvenar::Cell::empty());
    for (int i = 1; i <= kRows; ++i) {
        // Non-ascending: a tiny jitter backwards every 1000th row keeps the shape, breaks order.
        const double x = i * 0.01 - (!ascending && i % 1000 == 0 ? 0.02 : 0.0);
        table.DataX.push_back(tolvenar::Cell::of_number(x));
        table.DataY.push_back(tolvenar::Cell::of_number(12.0 + std::sin(i * 0.001)));
    }
    table.DataX.push_back(tolvenar::Cell::empty());
    table.DataY.push_back(tolvenar::Cell::empty());
    table.DataCount = kRows;
    tolvenar::note_x_order(table);
    return state;
}

// A 10,000-point window in the middle of the series (the crop's 32767-point limit allows it).
constexpr float kLeft = 5000.0f;
constexpr float kWidth = 100.0f;

void crop_once(tolvenar::EngineState& state, bool plain)
{
    tolvenar::extract_crop(state, kLeft, kWidth);
    const auto no_drawing = [](float, float, float, float) {};
    if (plain)
        tolvenar::measure_crop_linear(state.data, kLeft, kWidth, state.CropMinY, state.CropMaxY,
                                      no_drawing);
    else
        tolvenar::measure_crop(state.data, kLeft, kWidth, state.CropMinY, state.CropMaxY,
                               no_drawing);
    benchmark::DoNotOptimize(state.CropMaxY);
}

void BM_CropAscending(benchmark::State& run)
{
    tolvenar::EngineState state = million_row_state(true);
    for (auto _ : run)
        crop_once(state, false);
    run.counters["points"] = state.CropCount;
}
BENCHMARK(BM_CropAscending)->Unit(benchmark::kMicrosecond);

void BM_CropPlainLoops(benchmark::State& run)
{
    tolvenar::EngineState state = million_row_state(true);
    state.data.x_ascending = false;
    for (auto _ : run)
        crop_once(state, true);
    run.counters["points"] = state.CropCount;
}
BENCHMARK(BM_CropPlainLoops)->Unit(benchmark::kMicrosecond);

void BM_CropNotAscending(benchmark::State& run)
{
    tolvenar::EngineState state = million_row_state(false);
    for (auto _ : run)
        crop_once(state, false);
    run.counters["points"] = state.CropCount;
}
BENCHMARK(BM_CropNotAscending)->Unit(benchmark::kMicrosecond);

void BM_NoteXOrder(benchmark::State& run)
{
    tolvenar::EngineState state = million_row_state(true);
    for (auto _ : run) {
        tolvenar::note_x_order(state.data);
        benchmark::DoNotOptimize(state.data.x_ascending);
    }
}
BENCHMARK(BM_NoteXOrder)->Unit(benchmark::kMicrosecond);

}  // namespace
