// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/data_table.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <limits>

namespace tolvenar {

namespace {
const Cell& checked_cell(const std::vector<Cell>& column, std::int64_t row, const char* where)
{
    if (row < 0 || row >= static_cast<std::int64_t>(column.size()))
        throw Fault(FaultKind::IndexOutOfRange, where);
    return column[static_cast<std::size_t>(row)];
}
}  // namespace

const Cell& DataTable::x_cell(std::int64_t row) const
{
    return checked_cell(DataX, row, "DataX");
}

const Cell& DataTable::y_cell(std::int64_t row) const
{
    return checked_cell(DataY, row, "DataY");
}

std::string_view DataTable::text_of(const Cell& cell) const
{
    if (cell.kind != CellKind::Text || cell.text >= texts.size())
        return {};
    return texts[cell.text];
}

void note_x_order(DataTable& table)
{
    table.x_ascending = false;
    const std::int64_t n = table.DataCount;
    if (n < 1 || table.DataX.size() != static_cast<std::size_t>(n) + 2 ||
        table.DataY.size() != table.DataX.size())
        return;
    double previous = -std::numeric_limits<double>::infinity();
    for (std::int64_t row = 1; row <= n; ++row) {
        const Cell& cell = table.DataX[static_cast<std::size_t>(row)];
        if (cell.kind == CellKind::Text)
            return;
        const double x = cell.kind == CellKind::Number ? cell.number : 0.0;
        if (!(previous <= x))  // also refuses a NaN
            return;
        previous = x;
    }
    table.x_ascending = true;
}

double cell_number(const Cell& cell)
{
    switch (cell.kind) {
    case CellKind::Empty: return 0.0;
    case CellKind::Number: return cell.number;
    case CellKind::Text: break;
    }
    throw Fault(FaultKind::TypeMismatch, "data cell");
}

float cell_single(const Cell& cell)
{
    return to_single(cell_number(cell));
}

bool cells_equal(const DataTable& table, const Cell& a, const Cell& b)
{
    if (a.kind == CellKind::Text && b.kind == CellKind::Text)
        return table.text_of(a) == table.text_of(b);
    if (a.kind == CellKind::Empty && b.kind == CellKind::Text)
        return table.text_of(b).empty();
    if (a.kind == CellKind::Text && b.kind == CellKind::Empty)
        return table.text_of(a).empty();
    if (a.kind == CellKind::Text || b.kind == CellKind::Text)
        return false;
    return cell_number(a) == cell_number(b);
}

void include_in_range(double value, float& lowest, float& highest)
{
    if (lowest > highest) {
        lowest = highest = to_single(value);
        return;
    }
    if (value < lowest)
        lowest = to_single(value);
    if (value > highest)
        highest = to_single(value);
}

bool cell_at_least(const Cell& cell, double edge)
{
    return cell.kind == CellKind::Text || cell_number(cell) >= edge;
}

}  // namespace tolvenar
