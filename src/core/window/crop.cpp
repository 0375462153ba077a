// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/crop.h"

#include "core/model/boxes.h"
#include "core/runtime/fault.h"
#include "core/window/crop_scan.h"

#include <cmath>

namespace tolvenar {

namespace {

// Bisection needs ascending numeric x (table.x_ascending) and an edge that orders with them.
bool can_bisect(const DataTable& table, float edge)
{
    return table.x_ascending && !std::isnan(edge);
}

}  // namespace

std::int64_t first_crop_row_linear(const DataTable& table, float left)
{
    std::int64_t row = 1;
    while (!cell_at_least(table.x_cell(row), left))
        ++row;
    return row;
}

std::int64_t first_crop_row(const DataTable& table, float left)
{
    if (!can_bisect(table, left))
        return first_crop_row_linear(table, left);
    const std::int64_t count = table.DataCount;
    const std::int64_t row = detail::first_row_where(table, 1, count + 1,
                                                     [left](double x) { return x >= left; });
    if (row <= count)
        return row;
    // Past the data: the spare row (empty or a marker's text) decides, then the table ends.
    if (cell_at_least(table.x_cell(count + 1), left))
        return count + 1;
    throw Fault(FaultKind::IndexOutOfRange, "DataX");
}

std::int64_t crop_stop_row_linear(const DataTable& table, std::int64_t from, float right)
{
    std::int64_t row = from;
    for (;;) {
        const bool past_data = row > table.DataCount;
        const bool past_edge = cell_greater_than(table.x_cell(row), right);
        if (past_data || past_edge)
            return row;
        ++row;
    }
}

std::int64_t crop_stop_row(const DataTable& table, std::int64_t from, float right)
{
    const std::int64_t count = table.DataCount;
    if (!can_bisect(table, right) || from < 1 || from > count)
        return crop_stop_row_linear(table, from, right);
    const std::int64_t row =
        detail::first_row_where(table, from, count + 1, [right](double x) { return x > right; });
    if (row > count)
        table.x_cell(row);  // the scan reads the spare row before it stops there
    return row;
}

void extract_crop(EngineState& state, float left, float width)
{
    const DataTable& table = state.data;
    const std::int64_t first = first_crop_row(table, left);
    // The right edge is a single sum and overflows as one.
    const float right = to_single(static_cast<double>(left) + static_cast<double>(width));
    const std::int64_t stop = crop_stop_row(table, first, right);
    // All or nothing: a window of more than 32767 points leaves the whole previous segment, so
    // its first row, last row and count never describe different crops.
    if (stop - first > 32767)
        throw Fault(FaultKind::Overflow, "CropCount");
    const auto count = static_cast<std::int16_t>(stop - first);
    state.CropStart = static_cast<std::int32_t>(first - 1);
    state.CropEnd = static_cast<std::int32_t>(stop - 1);
    state.CropCount = count;
    const auto size = static_cast<std::size_t>(state.CropCount) + 1;
    state.CropObserved.assign(size, 0.0f);
    state.CropModel.assign(size, 0.0f);
    state.CropMinY = kEmptyRangeLowest;  // nothing measured yet: the measurement opens the range
    state.CropMaxY = kEmptyRangeHighest;
}

void crop_without_drawing(EngineState& state, float left, float width)
{
    extract_crop(state, left, width);
    measure_crop(state.data, left, width, state.CropMinY, state.CropMaxY,
                 [](float, float, float, float) {});
    forget_best_of_best(state);
}

}  // namespace tolvenar
