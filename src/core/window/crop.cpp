// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/crop.h"

#include "core/runtime/fault.h"
#include "core/window/crop_scan.h"

#include <cmath>
#include <limits>

namespace tolvenar {

namespace {

// Bisection needs ascending numeric x (table.x_ascending) and an edge that orders with them.
bool can_bisect(const DataTable& table, double edge)
{
    return table.x_ascending && !std::isnan(edge);
}

// Beyond the right edge: a text cell always, a number when x - origin > right and not x <= to.
bool cell_beyond(const Cell& cell, double right, double origin, double to)
{
    if (cell.kind == CellKind::Text)
        return true;
    const double x = cell_number(cell);
    return x - origin > right && !(x <= to);
}

// The right edge as the row scan reads it, relative to the origin.
double scanned_right(double left, float width, double origin)
{
    // At origin 0 the edge is a single sum and overflows as one.
    return origin == 0.0 ? static_cast<double>(to_single(left + static_cast<double>(width)))
                         : static_cast<double>(width);
}

std::string edge_text(double x, double origin)
{
    // A crop near zero has single edges: their shortest single text reads as typed.
    return origin == 0.0 ? number_text(static_cast<float>(x)) : number_text(x);
}

}  // namespace

double crop_origin(double left, double width)
{
    const double right = left + width;
    if (!(width > 0.0) || !std::isfinite(right))
        return 0.0;
    const double reach = 1000.0 * width;
    return std::fabs(left) <= reach && std::fabs(right) <= reach ? 0.0 : left;
}

float model_x_of(double origin, double data_x)
{
    return to_single(data_x - origin);
}

double data_x_of(double origin, float model_x)
{
    return origin + static_cast<double>(model_x);
}

std::int64_t first_crop_row_linear(const DataTable& table, double left)
{
    std::int64_t row = 1;
    while (!cell_at_least(table.x_cell(row), left))
        ++row;
    return row;
}

std::int64_t first_crop_row(const DataTable& table, double left)
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

std::int64_t crop_stop_row_linear(const DataTable& table, std::int64_t from, double right,
                                  double origin, double to)
{
    std::int64_t row = from;
    for (;;) {
        const bool past_data = row > table.DataCount;
        const bool past_edge = cell_beyond(table.x_cell(row), right, origin, to);
        if (past_data || past_edge)
            return row;
        ++row;
    }
}

std::int64_t crop_stop_row(const DataTable& table, std::int64_t from, double right, double origin,
                           double to)
{
    const std::int64_t count = table.DataCount;
    if (!can_bisect(table, right) || from < 1 || from > count)
        return crop_stop_row_linear(table, from, right, origin, to);
    const std::int64_t row = detail::first_row_where(table, from, count + 1, [=](double x) {
        return x - origin > right && !(x <= to);
    });
    if (row > count)
        table.x_cell(row);  // the scan reads the spare row before it stops there
    return row;
}

CropRows crop_rows(const DataTable& table, double left, float width, double origin, double from,
                   double to)
{
    // A given edge below the plot's single one takes the rows between them too.
    const std::int64_t first = first_crop_row(table, from < left ? from : left);
    const double right = scanned_right(left, width, origin);
    const std::int64_t stop = crop_stop_row(table, first, right, origin, to);
    // Row numbers are 32-bit, so a count of them is too; checked all the same, since the first
    // row, the last row and the count must never describe different crops.
    if (stop - first > std::numeric_limits<std::int32_t>::max())
        throw Fault(FaultKind::Overflow, "CropCount");
    return {static_cast<std::int32_t>(first - 1), static_cast<std::int32_t>(stop - 1),
            static_cast<std::int32_t>(stop - first), origin};
}

CropEdges covering_rows(const DataTable& table, CropEdges edges)
{
    if (edges.origin != 0.0 || std::isnan(edges.to) || table.DataCount < 1)
        return edges;
    const std::int64_t count = table.DataCount;
    const auto kept = [&](std::int64_t row) {
        const Cell& cell = table.x_cell(row);
        return cell.kind == CellKind::Number && cell.number <= edges.to;
    };
    std::int64_t last = 0;  // the last row at or left of `to`; 0: none
    if (table.x_ascending) {
        last = detail::first_row_where(table, 1, count + 1,
                                       [&](double x) { return !(x <= edges.to); }) - 1;
    } else {
        for (std::int64_t row = count; row >= 1 && last == 0; --row)
            last = kept(row) ? row : 0;
    }
    if (last < 1 || !kept(last))
        return edges;
    const double x = table.x_cell(last).number;
    for (int step = 0; step < 4 && scanned_right(edges.left, edges.width, 0.0) < x; ++step)
        edges.width = std::nextafter(edges.width, INFINITY);
    return edges;
}

CropRows crop_rows(const DataTable& table, const CropEdges& edges)
{
    return crop_rows(table, edges.left, edges.width, edges.origin, edges.from, edges.to);
}

std::string crop_refusal(const DataTable& table, double left, double origin, const Fault& fault)
{
    std::string reason;
    if (fault.kind() == FaultKind::IndexOutOfRange) {
        reason = "no data row at or right of the left edge " + edge_text(left, origin);
        if (table.DataCount >= 1 && table.x_cell(table.DataCount).kind != CellKind::Text)
            reason += " (the last data x is " +
                      number_text(cell_number(table.x_cell(table.DataCount))) + ")";
    } else if (fault.kind() == FaultKind::Overflow) {
        reason = "the crop window's right edge lies beyond the single-precision range";
    } else {
        reason = fault.what();
    }
    return "cannot crop: " + reason;
}

std::string empty_crop_refusal(double left, float width, double origin)
{
    const double right = origin == 0.0 ? static_cast<double>(static_cast<float>(left) + width)
                                       : left + static_cast<double>(width);
    return "the crop window from " + edge_text(left, origin) + " to " + edge_text(right, origin) +
           " holds no data point";
}

}  // namespace tolvenar
