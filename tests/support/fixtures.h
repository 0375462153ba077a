// SPDX-License-Identifier: GPL-3.0-or-later
// Fixtures shared by every test suite: data tables built from rows, an engine state cropped
// over them, and the fault an action raises. Plain C++ over the core, no test framework.
#pragma once

#include "core/data/data_table.h"
#include "core/model/engine_state.h"
#include "core/runtime/fault.h"
#include "core/runtime/random_source.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace tolvenar::test {

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

// Rows 1..n of numbers (x[i - 1], y[i - 1]) as the reader leaves them: the titles "x" and "y" in
// row 0, a spare row n + 1 (empty, or x the text `spare_x` as a final marker leaves it), the x
// order noted. A missing y is 0.
inline DataTable table_of(const std::vector<double>& x, const std::vector<double>& y = {},
                          std::string_view spare_x = {})
{
    DataTable table;
    table.texts = {"x", "y"};
    table.DataX.push_back({CellKind::Text, 0, 0.0});
    table.DataY.push_back({CellKind::Text, 1, 0.0});
    for (std::size_t i = 0; i < x.size(); ++i) {
        table.DataX.push_back(Cell::of_number(x[i]));
        table.DataY.push_back(Cell::of_number(i < y.size() ? y[i] : 0.0));
    }
    if (!spare_x.empty())
        table.texts.emplace_back(spare_x);
    table.DataX.push_back(spare_x.empty() ? Cell::empty() : Cell{CellKind::Text, 2, 0.0});
    table.DataY.push_back(Cell::empty());
    table.DataCount = static_cast<std::int32_t>(x.size());
    note_x_order(table);
    return table;
}

// An engine state over table_of(x, y) with every row cropped and CropMinY/CropMaxY the y extent,
// as a crop over the whole series leaves it (without the drawing's measurement rules).
inline EngineState state_over(const std::vector<double>& x, const std::vector<double>& y)
{
    const auto n = static_cast<std::int32_t>(x.size());
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    return {.data = table_of(x, y), .DataWeight = {}, .CropEnd = n, .CropCount = n,
            .CropObserved = std::vector<float>(x.size() + 1),
            .CropModel = std::vector<float>(x.size() + 1),
            .CropMaxY = y.empty() ? kEmptyRangeHighest : static_cast<float>(*hi),
            .CropMinY = y.empty() ? kEmptyRangeLowest : static_cast<float>(*lo)};
}

// DataWeight of a state over rows 1..w.size(): w between rows 0 and n + 1, which weigh 1.
inline std::vector<double> row_weights(const std::vector<double>& w)
{
    std::vector<double> rows{1.0};
    rows.insert(rows.end(), w.begin(), w.end());
    rows.push_back(1.0);
    return rows;
}

// A random source whose draw number k (from 1) is the stream's first draw of exactly 0, which
// makes a step of 0 and so two coinciding break points.
inline RandomSource random_with_zero_as_draw(std::uint64_t k)
{
    static const std::uint64_t zero_at = [] {  // draws before the first 0
        RandomSource scan;
        std::uint64_t draws = 0;
        while (scan.next() != 0.0f)
            ++draws;
        return draws;
    }();
    RandomSource source;
    while (source.draws() + k <= zero_at)
        source.next();
    return source;
}

// The candidate's vertices 1..6.
inline void set_model(EngineState& state, const std::array<float, 6>& x,
                      const std::array<float, 6>& y)
{
    for (std::size_t k = 1; k <= 6; ++k) {
        state.ModelX[k] = x[k - 1];
        state.ModelY[k] = y[k - 1];
    }
}

}  // namespace tolvenar::test
