// SPDX-License-Identifier: GPL-3.0-or-later
// What a field of a data file stands for, shared by the reader and the separator detection.
#pragma once

#include "core/data/data_reader.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::detail {

// Line ends in `s`: LF, CR LF and a lone CR, one each.
std::size_t line_ends(std::string_view s);

// Whether all of `s` is a decimal number with a full stop; if so its value goes to `value`. A
// magnitude beyond the double range raises Overflow, one below it reads as (signed) 0.
bool read_number(std::string_view s, double& value);
// The same with a decimal comma in the full stop's place, digits on both sides ("1,5", "-0,25e3").
bool read_decimal_comma(std::string_view s, double& value);

// Whether the separator lets numbers have a decimal comma.
constexpr bool allows_decimal_comma(Separator separator)
{
    return separator == Separator::Semicolon || separator == Separator::Tab;
}

// A missing-value marker: NaN, NA or NULL in any case.
bool is_missing_marker(std::string_view text);

// A marker row, dropped from the fifth data row on as a break in the data: x "Break" or "break",
// or x or y "---", exactly (absent fields are no markers).
bool is_marker_row(const Field* x, const Field* y);

// A line of nothing: one empty field, or every field empty and unquoted (a spreadsheet's empty
// row, ",,,"), skipped as a blank line is.
bool is_blank_line(const std::vector<Field>& line);

// The number a field holds: an unquoted number, or a quoted field that is wholly one (with a
// decimal comma where `separator` allows it). Overflow as read_number.
std::optional<double> number_of(const Field& field, Separator separator);

// A field's text as written, quotes removed and each "" pair read as one quote.
std::string field_text(const Field& field);

// The chosen columns of a table, from 0.
struct ColumnIndexes {
    std::size_t x = 0, y = 1;
    std::optional<std::size_t> sigma;

    // Column `column` of a line's fields; nullptr when the line is shorter.
    static const Field* field(const std::vector<Field>& line, std::size_t column);
};

// The columns `options` choose among `titles`; ImportError NoSuchColumn naming the titles when
// one is not there, or saying there are none when the file has no title row.
ColumnIndexes column_indexes(const std::vector<std::string>& titles, const ReadOptions& options,
                             bool title_row = true);

// Whether a first line's x and y read as data, not titles: x a number or an ISO date, y a number
// or a gap (empty or a missing-value marker).
bool reads_as_data(const Field* x, const Field* y, Separator separator);

}  // namespace tolvenar::detail
