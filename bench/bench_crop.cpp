// SPDX-License-Identifier: GPL-3.0-or-later
// One crop (extraction and measurement) on a 1,000,000-row table, as the window runs it on
// every mouse move of a drag: bisecting on ascending x, and the plain loops for comparison.
#include "core/window/crop.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int kRows = 1'000'000;

tolvenar::DataTable million_row_table(bool ascending)
{
    tolvenar::DataTable table;
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
    return table;
}

// A 10,000-point window in the middle of the series (the crop's 32767-point limit allows it).
constexpr float kLeft = 5000.0f;
constexpr float kWidth = 100.0f;

// The rows under the window, then its vertical extent: what the window does on a drag.
std::int32_t crop_once(const tolvenar::DataTable& table, bool plain)
{
    const tolvenar::CropRows rows = tolvenar::crop_rows(table, kLeft, kWidth);
    float min_y = 0.0f, max_y = 0.0f;
    const auto no_drawing = [](float, float, float, float) {};
    if (plain)
        tolvenar::measure_crop_linear(table, kLeft, kWidth, min_y, max_y, no_drawing);
    else
        tolvenar::measure_crop(table, kLeft, kWidth, min_y, max_y, no_drawing);
    benchmark::DoNotOptimize(max_y);
    return rows.count;
}

void BM_CropAscending(benchmark::State& run)
{
    const tolvenar::DataTable table = million_row_table(true);
    std::int32_t count = 0;
    for (auto _ : run)
        count = crop_once(table, false);
    run.counters["points"] = count;
}
BENCHMARK(BM_CropAscending)->Unit(benchmark::kMicrosecond);

void BM_CropPlainLoops(benchmark::State& run)
{
    tolvenar::DataTable table = million_row_table(true);
    table.x_ascending = false;
    std::int32_t count = 0;
    for (auto _ : run)
        count = crop_once(table, true);
    run.counters["points"] = count;
}
BENCHMARK(BM_CropPlainLoops)->Unit(benchmark::kMicrosecond);

void BM_CropNotAscending(benchmark::State& run)
{
    const tolvenar::DataTable table = million_row_table(false);
    std::int32_t count = 0;
    for (auto _ : run)
        count = crop_once(table, false);
    run.counters["points"] = count;
}
BENCHMARK(BM_CropNotAscending)->Unit(benchmark::kMicrosecond);

void BM_NoteXOrder(benchmark::State& run)
{
    tolvenar::DataTable table = million_row_table(true);
    for (auto _ : run) {
        tolvenar::note_x_order(table);
        benchmark::DoNotOptimize(table.x_ascending);
    }
}
BENCHMARK(BM_NoteXOrder)->Unit(benchmark::kMicrosecond);

}  // namespace
