// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a 1,000,000-row data file, generated once into the temp directory.
#include "core/data/data_reader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr int kRows = 1'000'000;

// A title line and kRows lines of a noisy signal, line i written by write(line, i, value).
template <typename Write>
std::string million_rows_of(const char* title, Write write)
{
    std::string text = title;
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 0.3);
    char line[64];
    for (int i = 0; i < kRows; ++i) {
        const int length = write(line, i, 12.0 + noise(random));
        text.append(line, static_cast<std::size_t>(length));
    }
    return text;
}

// time,value rows like a logger writes them: ascending time, a noisy signal.
std::string million_rows()
{
    return million_rows_of("time_s,signal_mV\n", [](char* line, int i, double value) {
        return std::snprintf(line, 64, "%.2f,%.3f\n", i * 0.01, value);
    });
}

// The same signal as a European spreadsheet exports it: semicolons, decimal commas, a sigma.
std::string million_rows_with_sigma()
{
    return million_rows_of("time_s;signal_mV;sd_mV\n", [](char* line, int i, double value) {
        const int length = std::snprintf(line, 64, "%.2f;%.3f;0.3\n", i * 0.01, value);
        std::replace(line, line + length, '.', ',');
        return length;
    });
}

// A logger's ISO date-times, one a minute.
std::string million_dated_rows()
{
    return million_rows_of("time,signal_mV\n", [](char* line, int i, double value) {
        const int day = i / 1440, minute = i % 1440;
        return std::snprintf(line, 64, "%04d-%02d-%02dT%02d:%02d:00Z,%.3f\n", 2000 + day / 336,
                             1 + day / 28 % 12, 1 + day % 28, minute / 60, minute % 60, value);
    });
}

const std::filesystem::path& million_row_file()
{
    static const std::filesystem::path path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tolvenar-bench-" + std::to_string(kRows) + ".csv");
        std::ofstream(file, std::ios::binary) << million_rows();
        return file;
    }();
    return path;
}

void BM_ReadDataFile(benchmark::State& state)
{
    const auto& path = million_row_file();
    for (auto _ : state) {
        auto series = tolvenar::read_data_file(path);
        benchmark::DoNotOptimize(series.table.DataCount);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond);

// The whole import's core: reader, strip scale and the overview's conversions.
void BM_ImportDataFile(benchmark::State& state)
{
    const auto& path = million_row_file();
    for (auto _ : state) {
        auto import = tolvenar::import_data_file(path);
        benchmark::DoNotOptimize(import.scale.ScaleHeight);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportDataFile)->Unit(benchmark::kMillisecond);

// Reads `text` once an iteration.
void read_million(benchmark::State& state, const std::string& text,
                  const tolvenar::ReadOptions& options = {})
{
    for (auto _ : state) {
        auto series = tolvenar::read_data_text(text, options);
        benchmark::DoNotOptimize(series.table.DataCount);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_ReadDataText(benchmark::State& state)
{
    read_million(state, million_rows());
}
BENCHMARK(BM_ReadDataText)->Unit(benchmark::kMillisecond);

// Columns chosen by title, with a sigma, separated by semicolons with decimal commas.
void BM_ReadDataTextColumns(benchmark::State& state)
{
    tolvenar::ReadOptions options;
    options.y = tolvenar::ColumnChoice::of_text("signal_mV");
    options.sigma = tolvenar::ColumnChoice::of_text("sd_mV");
    read_million(state, million_rows_with_sigma(), options);
}
BENCHMARK(BM_ReadDataTextColumns)->Unit(benchmark::kMillisecond);

void BM_ReadDataTextDates(benchmark::State& state)
{
    read_million(state, million_dated_rows());
}
BENCHMARK(BM_ReadDataTextDates)->Unit(benchmark::kMillisecond);

}  // namespace
