// SPDX-License-Identifier: GPL-3.0-or-later
// The data file fuzz target: one input through the whole import and a few crops.
#pragma once

#include "core/model/engine_state.h"
#include "core/runtime/fault.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace tolvenar::fuzz {

// Reads `data` as a data file, runs the overview checks and crops the result with windows from
// the data and from the input's last bytes. Refusals and runtime faults are expected outcomes; a
// bisecting crop that disagrees with the plain loops aborts.
void exercise_data_reader(const std::uint8_t* data, std::size_t size);

// What a crop leaves: its fault, the segment, the measured range and the lines drawn.
struct CropOutcome {
    std::optional<FaultKind> fault;
    std::int32_t start = 0, end = 0;
    std::int32_t count = 0;
    std::size_t arrays = 0;
    float min_y = 0.0f, max_y = 0.0f;
    std::vector<std::array<float, 4>> lines;

    bool operator==(const CropOutcome&) const = default;  // the values are never NaN
};

// extract_crop then measure_crop on `state`, as the window's crop does (the measurement also
// after a failed extraction: it must hold for any window); `plain` takes the plain loops.
CropOutcome crop_outcome(EngineState& state, double left, float width, bool plain,
                         double origin = 0.0);

}  // namespace tolvenar::fuzz
