// SPDX-License-Identifier: GPL-3.0-or-later
#include "data_reader_entry.h"

#include "core/data/data_reader.h"
#include "core/window/crop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tolvenar::fuzz {

namespace {

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

void exercise_data_reader(const std::uint8_t* data, std::size_t size)
{
    ImportedSeries series;
    try {
        series = read_data_text({reinterpret_cast<const char*>(data), size});
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
            const CropOutcome a = crop_outcome(fast, left, width, false);
            require(a.same_as(crop_outcome(plain, left, width, true)),
                    "bisecting crop equals the plain loops");
            require(a.fault || (a.arrays == static_cast<std::size_t>(a.count) + 1 &&
                                a.start + a.count == a.end),
                    "segment invariants");
        }
    }
}

bool CropOutcome::same_as(const CropOutcome& other) const
{
    return fault == other.fault && start == other.start && end == other.end &&
           count == other.count && arrays == other.arrays &&
           std::memcmp(&min_y, &other.min_y, sizeof min_y) == 0 &&
           std::memcmp(&max_y, &other.max_y, sizeof max_y) == 0 &&
           lines.size() == other.lines.size() &&
           (lines.empty() ||
            std::memcmp(lines.data(), other.lines.data(), lines.size() * sizeof lines[0]) == 0);
}

CropOutcome crop_outcome(EngineState& state, float left, float width, bool plain)
{
    CropOutcome out;
    const auto draw = [&out](float x1, float y1, float x2, float y2) {
        out.lines.push_back({x1, y1, x2, y2});
    };
    try {
        extract_crop(state, left, width);
    } catch (const Fault& fault) {
        out.fault = fault.kind();
    }
    try {
        if (plain)
            measure_crop_linear(state.data, left, width, state.CropMinY, state.CropMaxY, draw);
        else
            measure_crop(state.data, left, width, state.CropMinY, state.CropMaxY, draw);
    } catch (const Fault& fault) {
        out.fault = out.fault.value_or(fault.kind());
    }
    out.start = state.CropStart;
    out.end = state.CropEnd;
    out.count = state.CropCount;
    out.arrays = state.CropObserved.size();
    out.min_y = state.CropMinY;
    out.max_y = state.CropMaxY;
    return out;
}

}  // namespace tolvenar::fuzz

// libFuzzer's entry point; the unit tests call exercise_data_reader over the kept corpus.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tolvenar::fuzz::exercise_data_reader(data, size);
    return 0;
}
