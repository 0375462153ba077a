// SPDX-License-Identifier: GPL-3.0-or-later
// The imported series: rows of variant cells, row 0 the column titles, rows 1..DataCount the
// data, row DataCount + 1 a spare cell.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

enum class CellKind : std::uint8_t { Empty, Number, Text };

// One field of the data file: a number, a text or the empty value. Text lives in the table's
// text pool so that a cell stays 16 bytes.
struct Cell {
    CellKind kind = CellKind::Empty;
    std::uint32_t text = 0;  // index into DataTable::texts when kind == Text
    double number = 0.0;     // the value when kind == Number

    static Cell empty() { return {}; }
    static Cell of_number(double value) { return {CellKind::Number, 0, value}; }
};

// The data table of the current set. Unallocated (no rows at all) until the first import.
// Reads outside rows 0..DataCount + 1 raise FaultKind::IndexOutOfRange.
struct DataTable {
    std::vector<Cell> DataX;  // x of each row
    std::vector<Cell> DataY;  // y of each row
    std::vector<std::string> texts;  // text pool of the cells of kind Text
    std::int32_t DataCount = 0;      // number of data rows = index of the last one
    // True when rows 1..DataCount hold numbers or empty cells in non-decreasing order and the
    // spare row exists; lets the crop bisect instead of scanning. Set by note_x_order (the reader
    // calls it); whoever edits DataX or DataCount afterwards must call it again.
    bool x_ascending = false;

    bool allocated() const noexcept { return !DataX.empty(); }
    std::int32_t rows() const noexcept { return static_cast<std::int32_t>(DataX.size()); }

    const Cell& x_cell(std::int64_t row) const;  // checked
    const Cell& y_cell(std::int64_t row) const;  // checked
    std::string_view text_of(const Cell& cell) const;  // "" unless kind == Text
};

// Sets table.x_ascending from the current rows.
void note_x_order(DataTable& table);

// A cell used as a number: empty counts 0, text raises FaultKind::TypeMismatch.
double cell_number(const Cell& cell);
// The same, converted to single precision (FaultKind::Overflow beyond the float range).
float cell_single(const Cell& cell);

// Equality of two stored values: numbers numerically, texts as exact text, number vs text
// unequal, the empty value equal to 0 and to the empty text.
bool cells_equal(const DataTable& table, const Cell& a, const Cell& b);

// A measured range before its first value: lowest above highest.
inline constexpr float kEmptyRangeLowest = 999999.0f;
inline constexpr float kEmptyRangeHighest = -999999.0f;

// Takes `value` into the single-precision range [lowest, highest]. Started at kEmptyRangeLowest
// and kEmptyRangeHighest the range is empty (lowest > highest): the first value opens it, so data
// lying wholly beyond +-999999 get their own range instead of one stretched to the start values.
// Beyond the single range the conversion raises FaultKind::Overflow.
void include_in_range(double value, float& lowest, float& highest);

// Ordering of a cell against a number in the crop scans: a number compares numerically, an
// empty cell as 0, and a text cell counts as greater than any number.
bool cell_at_least(const Cell& cell, double edge);  // cell >= edge

}  // namespace tolvenar
