// SPDX-License-Identifier: GPL-3.0-or-later
#include "data_reader_entry.h"

#include "core/data/data_reader.h"
#include "core/window/crop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tolvenar::fuzz {

void exercise_data_reader(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text{reinterpret_cast<const char*>(data), size};
    ReadOptions columns;  // one data row per line, a sigma in the third column
    columns.sigma = ColumnChoice{"", 3};
    try {
        read_data_text(text, columns);
    } catch (const std::runtime_error&) {
    }
    ImportedSeries series;
    try {
        series = read_data_text(text);
    } catch (const std::runtime_error&) {  // a refusal or a runtime fault
        return;
    }
    std::vector<std::array<float, 2>> windows;
    try {
        const OverviewScale scale = overview_scale(series);
        check_overview_cells(series.table);
        windows.push_back({scale.ScaleLeft, scale.ScaleWidth});
        windows.push_back({scale.ScaleLeft + scale.ScaleWidth / 4, scale.ScaleWidth / 2});
    } catch (const Fault&) {
    }
    if (size >= 8) {  // any float from the last bytes, NaN and infinities included
        windows.emplace_back();
        std::memcpy(windows.back().data(), data + size - 8, 8);
    }
    for (const auto& [left, width] : windows) {
        EngineState fast, plain;
        fast.data = plain.data = series.table;
        plain.data.x_ascending = false;
        for (int repeat = 0; repeat < 2; ++repeat) {  // a second crop starts from the first's
            if (crop_outcome(fast, left, width, false) != crop_outcome(plain, left, width, true)) {
                std::fprintf(stderr, "the bisecting crop differs from the plain one\n");
                std::abort();
            }
        }
    }
}

CropOutcome crop_outcome(EngineState& state, double left, float width, bool plain, double origin)
{
    std::optional<FaultKind> fault;
    std::vector<std::array<float, 4>> lines;
    const auto draw = [&lines](float x1, float y1, float x2, float y2) {
        lines.push_back({x1, y1, x2, y2});
    };
    try {
        extract_crop(state, left, width, origin);
    } catch (const Fault& error) {
        fault = error.kind();
    }
    try {
        if (plain)
            measure_crop_linear(state.data, left, width, state.CropMinY, state.CropMaxY, draw,
                                origin);
        else
            measure_crop(state.data, left, width, state.CropMinY, state.CropMaxY, draw, origin);
    } catch (const Fault& error) {
        fault = fault.value_or(error.kind());
    }
    return {fault, state.CropStart, state.CropEnd, state.CropCount, state.CropObserved.size(),
            state.CropMinY, state.CropMaxY, std::move(lines)};
}

}  // namespace tolvenar::fuzz

// libFuzzer's entry point; the unit tests call exercise_data_reader over the kept corpus.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tolvenar::fuzz::exercise_data_reader(data, size);
    return 0;
}
