// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/data_reader.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace tolvenar {

namespace {

constexpr bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

constexpr bool is_separator(char c)
{
    return c == ',' || c == '\n' || c == '\r';
}

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether all of `s` is a decimal number; if so its value goes to `value`. A magnitude beyond
// the double range raises Overflow, one below it reads as (signed) 0.
bool read_number(std::string_view s, double& value)
{
    std::size_t i = 0;
    const std::size_t size = s.size();
    const bool has_sign = i < size && (s[i] == '+' || s[i] == '-');
    if (has_sign)
        ++i;
    const std::size_t integer_begin = i;
    while (i < size && is_digit(s[i]))
        ++i;
    const std::size_t integer_end = i;
    std::size_t fraction_begin = i;
    std::size_t fraction_end = i;
    if (i < size && s[i] == '.') {
        fraction_begin = ++i;
        while (i < size && is_digit(s[i]))
            ++i;
        fraction_end = i;
    }
    if (integer_end == integer_begin && fraction_end == fraction_begin)
        return false;
    const std::size_t mantissa_end = i;
    if (i < size && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < size && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (i == size || !is_digit(s[i]))
            return false;
        while (i < size && is_digit(s[i]))
            ++i;
    }
    if (i != size)
        return false;

    // from_chars takes no leading '+'.
    const std::string_view digits = s[0] == '+' ? s.substr(1) : s;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc{})
        return true;

    // Out of range: a huge or a tiny magnitude. Tell them apart by the decimal position of the
    // first significant digit (the two limits lie over 600 decades apart).
    long position = 0;  // value ~ 10^(position + exponent)
    std::size_t k = integer_begin;
    while (k < integer_end && s[k] == '0')
        ++k;
    if (k < integer_end) {
        position = static_cast<long>(integer_end - k);
    } else {
        k = fraction_begin;
        while (k < fraction_end && s[k] == '0')
            ++k;
        position = -static_cast<long>(k - fraction_begin);
    }
    long exponent = 0;
    std::size_t e = mantissa_end + 1;
    const bool negative_exponent = e < size && s[e] == '-';
    if (e < size && (s[e] == '+' || s[e] == '-'))
        ++e;
    for (; e < size; ++e)
        exponent = std::min(exponent * 10 + (s[e] - '0'), 100000L);
    if (negative_exponent)
        exponent = -exponent;
    if (position + exponent > 0)
        throw Fault(FaultKind::Overflow, "data file number");
    value = s[0] == '-' ? -0.0 : 0.0;
    return true;
}

// Stores a field in the table: texts go to its pool.
Cell store(DataTable& table, const Field& field)
{
    switch (field.kind) {
    case CellKind::Empty: return Cell::empty();
    case CellKind::Number: return Cell::of_number(field.number);
    case CellKind::Text: break;
    }
    if (table.texts.size() >= std::numeric_limits<std::uint32_t>::max())
        throw Fault(FaultKind::Overflow, "data file texts");
    std::string text(field.text);
    if (field.doubled_quotes) {
        std::string single;
        for (std::size_t i = 0; i < text.size(); ++i) {
            single += text[i];
            if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"')
                ++i;
        }
        text = std::move(single);
    }
    table.texts.push_back(std::move(text));
    return Cell{CellKind::Text, static_cast<std::uint32_t>(table.texts.size() - 1), 0.0};
}

// A marker row, dropped from pair 6 on: x "Break" or "break", or x or y "---", exactly.
bool is_marker(const DataTable& table, const Cell& x, const Cell& y)
{
    const std::string_view xt = table.text_of(x);
    if (x.kind == CellKind::Text && (xt == "Break" || xt == "break" || xt == "---"))
        return true;
    return y.kind == CellKind::Text && table.text_of(y) == "---";
}

// A rough count of the rows a text holds, to size the tables once.
std::size_t expected_rows(std::string_view text)
{
    std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lines == 0)
        lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
    return lines + 2;
}

[[noreturn]] void refuse(ImportFailure reason)
{
    switch (reason) {
    case ImportFailure::TooFewFields:
        throw ImportError(reason, "not a data file: fewer than ten fields "
                                  "(a title row and four data rows are needed)");
    case ImportFailure::FieldCheckFailed:
        throw ImportError(reason, "not a data file: fields 4, 7 and 10 hold the same value");
    case ImportFailure::EndsInsidePair:
        throw ImportError(reason, "the file ends inside a pair: the last x has no y");
    case ImportFailure::CannotOpen: break;
    }
    throw ImportError(reason, "cannot open the data file");
}

std::string read_whole_file(const std::filesystem::path& path)
{
    const auto cannot = [&path](const char* what, int error) {
        return ImportError(ImportFailure::CannotOpen,
                           std::string(what) + " " + path.string() + ": " + std::strerror(error));
    };
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file)
        throw cannot("cannot open", errno);
    std::string text;
    std::error_code size_error;
    const auto size = std::filesystem::file_size(path, size_error);
    if (!size_error)
        text.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, got);
        if (got < sizeof buffer)
            break;
    }
    if (std::ferror(file.get()))
        throw cannot("cannot read", errno != 0 ? errno : EIO);
    return text;
}

}  // namespace

ImportError::ImportError(ImportFailure reason, const std::string& message)
    : std::runtime_error(message), m_reason(reason)
{
}

FieldStream::FieldStream(std::string_view text) : m_text(text)
{
    // A UTF-8 byte order mark (spreadsheet exports) is no part of the first field.
    if (m_text.starts_with("\xEF\xBB\xBF"))
        m_pos = 3;
}

Field FieldStream::next()
{
    const std::string_view t = m_text;
    const std::size_t size = t.size();
    std::size_t p = m_pos;
    while (p < size && is_blank(t[p]))
        ++p;

    Field field;
    if (p < size && t[p] == '"') {
        const std::size_t begin = ++p;
        std::size_t close = t.find('"', p);
        while (close != std::string_view::npos && close + 1 < size && t[close + 1] == '"') {
            field.doubled_quotes = true;
            close = t.find('"', close + 2);
        }
        field.kind = CellKind::Text;
        if (close == std::string_view::npos) {  // unterminated: the rest of the text
            field.text = t.substr(begin);
            m_pos = size;
            return field;
        }
        field.text = t.substr(begin, close - begin);
        p = close + 1;
        while (p < size && !is_separator(t[p]))
            ++p;
    } else {
        const std::size_t begin = p;
        while (p < size && !is_separator(t[p]))
            ++p;
        std::size_t end = p;
        while (end > begin && is_blank(t[end - 1]))
            --end;
        const std::string_view raw = t.substr(begin, end - begin);
        if (raw.empty()) {
            field.kind = CellKind::Empty;
        } else if (read_number(raw, field.number)) {
            field.kind = CellKind::Number;
        } else {
            field.kind = CellKind::Text;
            field.text = raw;
        }
    }

    if (p < size) {
        if (t[p] == '\r' && p + 1 < size && t[p + 1] == '\n')
            ++p;
        ++p;
    }
    m_pos = p;
    return field;
}

ImportedSeries read_data_text(std::string_view text)
{
    ImportedSeries series;
    DataTable& table = series.table;
    FieldStream fields(text);

    // The title row and the first four data rows, taken as they are.
    Cell head[10];
    for (Cell& cell : head) {
        if (fields.at_end())
            refuse(ImportFailure::TooFewFields);
        cell = store(table, fields.next());
    }
    series.FieldCheckFailed =
        cells_equal(table, head[6], head[3]) && cells_equal(table, head[9], head[3]);
    if (series.FieldCheckFailed)
        refuse(ImportFailure::FieldCheckFailed);

    const std::size_t capacity = expected_rows(text);
    table.DataX.reserve(capacity);
    table.DataY.reserve(capacity);
    for (int row = 0; row < 5; ++row) {
        table.DataX.push_back(head[2 * row]);
        table.DataY.push_back(head[2 * row + 1]);
    }

    // Further rows. A marker pair stays in the last row until the next pair overwrites it, so
    // when the file ends with markers the last one read becomes the spare row.
    bool marker_pending = false;
    std::size_t marker_texts = 0;  // pool size before the pending marker's texts
    while (!fields.at_end()) {
        if (marker_pending) {
            table.texts.resize(marker_texts);
            table.DataX.pop_back();
            table.DataY.pop_back();
        } else if (table.DataX.size() > static_cast<std::size_t>(
                                            std::numeric_limits<std::int32_t>::max())) {
            throw Fault(FaultKind::Overflow, "data row count");
        }
        const std::size_t texts_before = table.texts.size();
        const Cell x = store(table, fields.next());
        if (fields.at_end())
            refuse(ImportFailure::EndsInsidePair);
        const Cell y = store(table, fields.next());
        table.DataX.push_back(x);
        table.DataY.push_back(y);
        marker_pending = is_marker(table, x, y);
        marker_texts = texts_before;
    }
    if (!marker_pending) {
        table.DataX.push_back(Cell::empty());
        table.DataY.push_back(Cell::empty());
    }
    table.DataCount = static_cast<std::int32_t>(table.DataX.size() - 2);

    // The y range in single precision; row 0 takes no part.
    for (std::int32_t row = 1; row <= table.DataCount; ++row) {
        include_in_range(cell_number(table.DataY[static_cast<std::size_t>(row)]),
                         series.smallest_y, series.largest_y);
    }

    note_x_order(table);
    return series;
}

ImportedSeries read_data_file(const std::filesystem::path& path)
{
    return read_data_text(read_whole_file(path));
}

OverviewScale overview_scale(const ImportedSeries& series)
{
    const DataTable& table = series.table;
    const auto refuse_zero = [](float extent) {
        if (extent == 0.0f)
            throw Fault(FaultKind::InvalidPropertyValue, "overview scale");
        return extent;
    };
    // Single minus single stays single and overflows as such.
    const auto single_difference = [](float a, float b) {
        const float difference = a - b;
        if (std::isinf(difference))
            throw Fault(FaultKind::Overflow, "overview scale");
        return difference;
    };

    OverviewScale scale;
    const double first_x = cell_number(table.x_cell(1));
    scale.ScaleLeft = to_single(first_x);
    const double width = cell_number(table.x_cell(table.DataCount)) - first_x;
    if (!std::isfinite(width))
        throw Fault(FaultKind::Overflow, "overview scale");
    scale.ScaleWidth = refuse_zero(to_single(width));
    const float largest = series.largest_y;
    const float smallest = series.smallest_y;
    scale.ScaleTop = to_single(static_cast<double>(largest) +
                               static_cast<double>(single_difference(largest, smallest)) * 0.1);
    scale.ScaleHeight =
        refuse_zero(to_single(static_cast<double>(single_difference(smallest, largest)) * 1.2));
    return scale;
}

void check_overview_cells(const DataTable& table)
{
    if (table.DataCount < 2)
        return;  // the strip draws no line
    for (std::int64_t row = 1; row <= table.DataCount; ++row) {
        cell_single(table.x_cell(row));
        cell_single(table.y_cell(row));
    }
}

CheckedImport import_data_text(std::string_view text)
{
    CheckedImport result{read_data_text(text), {}};
    result.scale = overview_scale(result.series);
    check_overview_cells(result.series.table);
    return result;
}

CheckedImport import_data_file(const std::filesystem::path& path)
{
    return import_data_text(read_whole_file(path));
}

}  // namespace tolvenar
