// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic series for the engine benchmarks: n points at x = 0.01 i on a noisy event, cropped
// whole.
#pragma once

#include "core/model/engine_state.h"

#include <cmath>

namespace tolvenar::bench {

// `event(x)` gives y at x; a small ripple stands for the noise.
template <typename Event>
EngineState whole_crop_of(int n, Event event)
{
    EngineState state;
    state.data.DataX.assign(static_cast<std::size_t>(n) + 2, Cell::empty());
    state.data.DataY.assign(static_cast<std::size_t>(n) + 2, Cell::empty());
    state.data.DataCount = n;
    for (int i = 1; i <= n; ++i) {
        const double x = 0.01 * i;
        state.data.DataX[static_cast<std::size_t>(i)] = Cell::of_number(x);
        state.data.DataY[static_cast<std::size_t>(i)] =
            Cell::of_number(event(x) + 0.05 * std::sin(37.0 * i));
    }
    note_x_order(state.data);
    state.CropStart = 0;
    state.CropEnd = n;
    state.CropCount = n;
    state.CropObserved.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    state.CropModel.assign(static_cast<std::size_t>(n) + 1, 0.0f);
    state.CropMinY = -0.05f;
    state.CropMaxY = 1.05f;
    return state;
}

}  // namespace tolvenar::bench
