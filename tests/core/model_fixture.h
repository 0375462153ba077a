// SPDX-License-Identifier: GPL-3.0-or-later
// Engine states built by hand for the model and search tests: a table of numeric rows and a
// crop over all of them, without the reader or the crop extraction.
#pragma once

#include "core/model/engine_state.h"
#include "core/runtime/fault.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace tolvenar::testing {

// Rows 1..n hold (xs[i-1], ys[i-1]); row 0 and the spare row n + 1 are empty. The crop covers
// every row, CropMinY/CropMaxY are the y extent.
inline EngineState state_with_points(const std::vector<double>& xs, const std::vector<double>& ys)
{
    EngineState state;
    const auto n = static_cast<std::int32_t>(xs.size());
    state.data.DataX.assign(xs.size() + 2, Cell::empty());
    state.data.DataY.assign(xs.size() + 2, Cell::empty());
    state.data.DataCount = n;
    float lo = 999999.0f;
    float hi = -999999.0f;
    for (std::int32_t i = 1; i <= n; ++i) {
        state.data.DataX[static_cast<std::size_t>(i)] = Cell::of_number(xs[i - 1]);
        state.data.DataY[static_cast<std::size_t>(i)] = Cell::of_number(ys[i - 1]);
        lo = std::min(lo, static_cast<float>(ys[i - 1]));
        hi = std::max(hi, static_cast<float>(ys[i - 1]));
    }
    state.CropStart = 0;
    state.CropEnd = n;
    state.CropCount = static_cast<std::int16_t>(n);
    state.CropObserved.assign(xs.size() + 1, 0.0f);
    state.CropModel.assign(xs.size() + 1, 0.0f);
    state.CropMinY = lo;
    state.CropMaxY = hi;
    return state;
}

// Sets the candidate's vertices 1..6.
inline void set_model(EngineState& state, const std::array<float, 6>& x, const std::array<float, 6>& y)
{
    for (int k = 1; k <= 6; ++k) {
        state.ModelX[k] = x[static_cast<std::size_t>(k - 1)];
        state.ModelY[k] = y[static_cast<std::size_t>(k - 1)];
    }
}

// The kind of the Fault that `action` raises; nullopt when it raises none.
inline std::optional<FaultKind> fault_of(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Fault& fault) {
        return fault.kind();
    }
    return std::nullopt;
}

}  // namespace tolvenar::testing
