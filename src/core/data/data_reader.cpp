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

// Line ends in `s`: LF, CR LF and a lone CR, one each.
std::size_t line_ends(std::string_view s)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        count += s[i] == '\n' || (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'));
    return count;
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

// The refusals of the file's layout, which need no line to explain them.
[[noreturn]] void refuse(ImportFailure reason)
{
    if (reason == ImportFailure::TooFewFields)
        throw ImportError(reason, "not a data file: fewer than ten fields "
                                  "(a title row and four data rows are needed)");
    if (reason == ImportFailure::FieldCheckFailed)
        throw ImportError(reason, "not a data file: fields 4, 7 and 10 hold the same value");
    throw ImportError(reason, "the file ends inside a pair: the last x has no y");
}

// A cell's text for a message: quoted, at most 40 bytes, control characters as blanks. A cut
// falls before a UTF-8 character rather than inside it.
std::string excerpt(std::string_view text)
{
    constexpr std::size_t kLongest = 40;
    std::size_t cut = std::min(text.size(), kLongest);
    while (cut < text.size() && cut + 3 > kLongest &&
           (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;  // text[cut] continues a character of up to four bytes
    std::string shown = "\"";
    for (const char c : text.substr(0, cut))
        shown += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    return shown + (text.size() > cut ? "...\"" : "\"");
}

// "line 7 (data row 6)": where a data row's pair starts in the file.
std::string row_place(std::size_t line, std::int64_t row)
{
    return "line " + std::to_string(line) + " (data row " + std::to_string(row) + ")";
}

// Whether `s` is a number written with a decimal comma: digits, one comma, digits.
bool has_decimal_comma(std::string_view s)
{
    if (!s.empty() && (s.front() == '+' || s.front() == '-'))
        s.remove_prefix(1);
    const std::size_t comma = s.find(',');
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), is_digit);
    };
    return comma != std::string_view::npos && digits(s.substr(0, comma)) &&
           digits(s.substr(comma + 1));
}

// Refuses a data row's x or y field unless it is a number within the single range (or empty).
void check_value(const Field& field, char column, std::int64_t row)
{
    const std::string where = row_place(field.line, row) + ": " + column;
    if (field.kind == CellKind::Text) {
        if (has_decimal_comma(field.text))
            throw ImportError(ImportFailure::DecimalComma,
                              where + " " + excerpt(field.text) +
                                  " has a decimal comma, where a data file has a decimal point");
        if (field.quoted)
            throw ImportError(ImportFailure::TextValue,
                              where + " is the quoted text " + excerpt(field.text) +
                                  ", and a quoted field is text, not a number");
        throw ImportError(ImportFailure::TextValue,
                          where + " is the text " + excerpt(field.text) + ", not a number");
    }
    if (field.kind == CellKind::Number && !std::isfinite(static_cast<float>(field.number)))
        throw ImportError(ImportFailure::OutOfRange,
                          where + " = " + number_text(field.number) +
                              " lies beyond the single-precision range");
}

// Refuses data row `row` unless x and y are numbers and x does not fall below the x before it.
void check_row(const Field& x, const Field& y, std::int64_t row, double& previous_x)
{
    check_value(x, 'x', row);
    check_value(y, 'y', row);
    const double value = x.kind == CellKind::Number ? x.number : 0.0;
    if (value < previous_x)
        throw ImportError(ImportFailure::XDecreases,
                          row_place(x.line, row) + ": x = " + number_text(value) +
                              " is less than the x before it, " + number_text(previous_x) +
                              ": the rows must be in increasing x order");
    previous_x = value;
}

// The first line of the file after the title that holds anything; the title when none does.
std::string_view first_data_line(std::string_view text)
{
    std::string_view title;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        if (first)
            title = line;
        else if (line.find_first_not_of(" \t") != std::string_view::npos)
            return line;
        first = false;
        text.remove_prefix(end);
        if (text.starts_with("\r\n"))
            text.remove_prefix(2);
        else if (!text.empty())
            text.remove_prefix(1);
    }
    return title;
}

// UTF-16 text: a byte order mark, or ASCII characters each followed or preceded by a zero byte.
bool is_utf16(std::string_view text)
{
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        return true;
    const std::size_t pairs = std::min<std::size_t>(text.size(), 64) / 2;
    std::size_t zero_even = 0, zero_odd = 0;
    for (std::size_t i = 0; i < 2 * pairs; ++i)
        (i % 2 == 0 ? zero_even : zero_odd) += text[i] == '\0';
    const auto mostly = [pairs](std::size_t zeros) { return 4 * zeros >= 3 * pairs; };
    return pairs > 0 && (mostly(zero_even) != mostly(zero_odd));
}

// An empty or blank line after the last line that holds anything: the line it is on, else 0.
std::size_t trailing_empty_line(std::string_view text)
{
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    const std::string_view tail = text.substr(last == std::string_view::npos ? 0 : last + 1);
    const std::size_t ends = line_ends(tail);
    const bool ends_on_line_end = tail.ends_with('\n') || tail.ends_with('\r');
    if (ends >= 2 || (ends == 1 && !ends_on_line_end))
        return line_ends(text.substr(0, text.size() - tail.size())) + 2;
    return 0;
}

// A file of another format explains a refusal better than the refusal itself: the reason for
// `error` with that in view.
ImportError diagnosed(std::string_view text, const ImportError& error)
{
    if (is_utf16(text))
        return ImportError(ImportFailure::Utf16,
                           "the file is UTF-16 text, where a data file is UTF-8 or plain ASCII");
    const std::string_view line = first_data_line(text);
    std::string unquoted;  // a semicolon inside quotes is text, no separator
    for (bool quoted = false; const char c : line) {
        quoted ^= c == '"';
        if (!quoted && c != '"')
            unquoted += c;
    }
    if (unquoted.find(';') != std::string::npos) {
        bool comma = false;
        for (std::size_t at = line.find(','); at != std::string_view::npos && !comma;
             at = line.find(',', at + 1))
            comma = at > 0 && at + 1 < line.size() && is_digit(line[at - 1]) &&
                    is_digit(line[at + 1]);
        return ImportError(ImportFailure::Semicolons,
                           std::string("the fields are separated by semicolons") +
                               (comma ? " and the numbers have decimal commas" : "") + " (" +
                               excerpt(line) + "), where a data file has commas between fields" +
                               (comma ? " and decimal points" : ""));
    }
    if (error.reason() == ImportFailure::EndsInsidePair) {
        if (const std::size_t empty = trailing_empty_line(text))
            return ImportError(ImportFailure::TrailingEmptyLine,
                               "the file ends with an empty line (line " +
                                   std::to_string(empty) +
                                   "), which is one field more than its pairs hold");
    }
    return error;
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
    field.line = m_line;
    if (p < size && t[p] == '"') {
        field.quoted = true;
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
        m_line += line_ends(field.text);
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
        if (t[p] != ',')
            ++m_line;
        if (t[p] == '\r' && p + 1 < size && t[p + 1] == '\n')
            ++p;
        ++p;
    }
    m_pos = p;
    return field;
}

namespace {

// The next field; a number beyond the double range refuses the file, naming its line.
Field next_field(FieldStream& fields)
{
    const std::size_t line = fields.line();
    try {
        return fields.next();
    } catch (const Fault&) {
        throw ImportError(ImportFailure::OutOfRange,
                          "line " + std::to_string(line) +
                              ": a number lies beyond the double-precision range");
    }
}

ImportedSeries read_fields(std::string_view text)
{
    ImportedSeries series;
    DataTable& table = series.table;
    FieldStream fields(text);

    // The title row and the first four data rows, taken as they are.
    Field head[10];
    Cell cells[10];
    for (int i = 0; i < 10; ++i) {
        if (fields.at_end())
            refuse(ImportFailure::TooFewFields);
        head[i] = next_field(fields);
        cells[i] = store(table, head[i]);
    }
    series.FieldCheckFailed =
        cells_equal(table, cells[6], cells[3]) && cells_equal(table, cells[9], cells[3]);
    if (series.FieldCheckFailed)
        refuse(ImportFailure::FieldCheckFailed);

    const std::size_t capacity = expected_rows(text);
    table.DataX.reserve(capacity);
    table.DataY.reserve(capacity);
    double previous_x = -std::numeric_limits<double>::infinity();
    for (int row = 0; row < 5; ++row) {
        if (row > 0)
            check_row(head[2 * row], head[2 * row + 1], row, previous_x);
        table.DataX.push_back(cells[2 * row]);
        table.DataY.push_back(cells[2 * row + 1]);
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
            throw ImportError(ImportFailure::OutOfRange,
                              "more than 2147483646 data rows");
        }
        const std::size_t texts_before = table.texts.size();
        const Field x_field = next_field(fields);
        if (fields.at_end())
            refuse(ImportFailure::EndsInsidePair);
        const Field y_field = next_field(fields);
        const Cell x = store(table, x_field);
        const Cell y = store(table, y_field);
        marker_pending = is_marker(table, x, y);
        marker_texts = texts_before;
        if (!marker_pending)
            check_row(x_field, y_field, static_cast<std::int64_t>(table.DataX.size()),
                      previous_x);
        table.DataX.push_back(x);
        table.DataY.push_back(y);
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

}  // namespace

ImportedSeries read_data_text(std::string_view text)
{
    try {
        return read_fields(text);
    } catch (const ImportError& error) {
        throw diagnosed(text, error);
    }
}

std::string read_data_bytes(const std::filesystem::path& path)
{
    return read_whole_file(path);
}

std::string import_refusal_line(std::string_view source, const ImportError& error)
{
    if (error.reason() == ImportFailure::CannotOpen)
        return error.what();
    return std::string(source) + ": " + error.what();
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
    const DataTable& table = result.series.table;
    try {
        result.scale = overview_scale(result.series);
        check_overview_cells(table);
    } catch (const Fault& fault) {
        if (fault.kind() != FaultKind::InvalidPropertyValue)
            throw ImportError(ImportFailure::OutOfRange,
                              "the span of the x or the y values lies beyond the "
                              "single-precision range");
        // The strip refuses a zero extent: the x ascend, so equal ends mean one x throughout.
        const double first_x = cell_number(table.x_cell(1));
        const double last_x = cell_number(table.x_cell(table.DataCount));
        if (last_x == first_x)
            throw ImportError(ImportFailure::FlatSeries,
                              "the first and the last x are equal (" + number_text(first_x) +
                                  "): the series has no horizontal extent");
        if (static_cast<float>(last_x - first_x) == 0.0f)
            throw ImportError(ImportFailure::FlatSeries,
                              "the x span from " + number_text(first_x) + " to " +
                                  number_text(last_x) + " is 0 in single precision");
        throw ImportError(ImportFailure::FlatSeries,
                          "all y values are equal (" + number_text(result.series.largest_y) +
                              "): the series has no vertical extent");
    }
    return result;
}

CheckedImport import_data_file(const std::filesystem::path& path)
{
    return import_data_text(read_whole_file(path));
}

}  // namespace tolvenar
