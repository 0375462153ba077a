// SPDX-License-Identifier: GPL-3.0-or-later
// Body of measure_crop (included by crop.h).
#pragma once

#include <algorithm>
#include <cmath>

namespace tolvenar {

namespace detail {

// A cell's x on the plots: relative to the crop's origin, in single.
inline float plot_x(const Cell& cell, double origin)
{
    return origin == 0.0 ? cell_single(cell) : to_single(cell_number(cell) - origin);
}

// One segment of the measurement: row i to row i + 1, if it overlaps the window.
template <typename DrawLine>
void measure_segment(const DataTable& table, std::int64_t i, double left, double right,
                     double origin, float& min_y, float& max_y, DrawLine& draw_line)
{
    const Cell& x1 = table.x_cell(i);
    const Cell& x2 = table.x_cell(i + 1);
    if (!(cell_number(x2) > left && cell_number(x1) - origin < right))
        return;
    const Cell& y1 = table.y_cell(i);
    const Cell& y2 = table.y_cell(i + 1);
    draw_line(plot_x(x1, origin), cell_single(y1), plot_x(x2, origin), cell_single(y2));
    include_in_range(cell_number(y2), min_y, max_y);
}

// With x ascending (no text among rows 1..DataCount) row `row` has number x(row); empty is 0.
inline double ascending_x(const DataTable& table, std::int64_t row)
{
    const Cell& cell = table.DataX[static_cast<std::size_t>(row)];
    return cell.kind == CellKind::Number ? cell.number : 0.0;
}

// The first row r in [begin, end) of an ascending table for which `past(x(r))` holds, end if none;
// `past` must be false then true along the rows.
template <typename Past>
std::int64_t first_row_where(const DataTable& table, std::int64_t begin, std::int64_t end,
                             Past past)
{
    while (begin < end) {
        const std::int64_t middle = begin + (end - begin) / 2;
        if (past(ascending_x(table, middle)))
            end = middle;
        else
            begin = middle + 1;
    }
    return begin;
}

// The right edge relative to the origin: at origin 0 the single sum the plots draw to (an
// overflow gives an infinite edge), else the width.
inline double measured_right(double left, float width, double origin)
{
    return origin == 0.0 ? static_cast<double>(static_cast<float>(left) + width)
                         : static_cast<double>(width);
}

}  // namespace detail

// The plain loop over every segment: the reference for measure_crop.
template <typename DrawLine>
void measure_crop_linear(const DataTable& table, double left, float width, float& min_y,
                         float& max_y, DrawLine&& draw_line, double origin)
{
    const std::int64_t last = static_cast<std::int64_t>(table.DataCount) - 1;
    const double right = detail::measured_right(left, width, origin);
    for (std::int64_t i = 1; i <= last; ++i)
        detail::measure_segment(table, i, left, right, origin, min_y, max_y, draw_line);
}

template <typename DrawLine>
void measure_crop(const DataTable& table, double left, float width, float& min_y, float& max_y,
                  DrawLine&& draw_line, double origin)
{
    const double right = detail::measured_right(left, width, origin);
    if (!table.x_ascending || std::isnan(left) || std::isnan(right)) {
        measure_crop_linear(table, left, width, min_y, max_y, draw_line, origin);
        return;
    }
    // Ascending x: x(i + 1) > left turns true, x(i) < right turns false along i, so the
    // overlapping segments are one run; segments outside it neither draw nor fault.
    const std::int64_t count = table.DataCount;
    const std::int64_t first = detail::first_row_where(
        table, 2, count + 1, [left](double x) { return x > left; }) - 1;
    const std::int64_t last = std::min(
        count - 1, detail::first_row_where(table, 1, count + 1, [right, origin](double x) {
                       return !(x - origin < right);
                   }) - 1);
    for (std::int64_t i = std::max<std::int64_t>(first, 1); i <= last; ++i)
        detail::measure_segment(table, i, left, right, origin, min_y, max_y, draw_line);
}

}  // namespace tolvenar
