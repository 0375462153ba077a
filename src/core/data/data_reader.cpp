// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/data_reader.h"

#include "core/data/field_values.h"
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
#include <optional>
#include <utility>

namespace tolvenar {

namespace {

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
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
    table.texts.push_back(detail::field_text(field));
    return Cell{CellKind::Text, static_cast<std::uint32_t>(table.texts.size() - 1), 0.0};
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

// "line 7 (data row 6)": where a data row starts in the file; "data row 6" for arrays (line 0).
std::string row_place(std::size_t line, std::int64_t row)
{
    const std::string data_row = "data row " + std::to_string(row);
    return line == 0 ? data_row : "line " + std::to_string(line) + " (" + data_row + ")";
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

// A quoted field's number, a huge one refused as an unquoted one is.
std::optional<double> number_in(const Field& field, Separator separator)
{
    try {
        return detail::number_of(field, separator);
    } catch (const Fault&) {
        throw ImportError(ImportFailure::OutOfRange,
                          "line " + std::to_string(field.line) +
                              ": a number lies beyond the double-precision range");
    }
}

// A field of arrays' values, as a file would hold it.
Field number_field(double value)
{
    Field field;
    field.kind = CellKind::Number;
    field.number = value;
    field.text = "#";
    return field;
}

Field text_field(std::string_view text)
{
    Field field;
    field.kind = CellKind::Text;
    field.text = text;
    return field;
}

// Takes the data rows of a file, in file order, into the series: checks each value, leaves the
// gaps out, follows the x order and form, and at the end turns a downward series round.
class RowTaker {
public:
    RowTaker(ImportedSeries& series, const ReadOptions& options, Separator separator)
        : m_series(series), m_table(series.table), m_options(options), m_separator(separator)
    {
    }

    // A data row from its fields (nullptr for one the line lacks); `line` is where it starts.
    void take(const Field* x, const Field* y, const Field* sigma, std::size_t line)
    {
        m_line = line;
        ++m_file_rows;
        const double x_value = x_of(x);
        const std::optional<double> y_value = y_of(y);
        const double previous_x = m_previous_x;
        follow_order(x_value);
        if (std::exchange(m_marked, false))
            m_series.gap_x.push_back((previous_x + x_value) / 2);
        if (!y_value) {
            m_series.gap_x.push_back(x_value);
            return;
        }
        if (m_options.sigma)
            m_series.sigma.push_back(sigma_of(sigma));
        m_table.DataX.push_back(Cell::of_number(x_value));
        m_table.DataY.push_back(Cell::of_number(*y_value));
    }

    // A marker row between the last row and the next: the data break midway between them. One
    // at the end breaks nothing; none comes before the fifth row, so a last row is always there.
    void mark() { m_marked = true; }

    // The spare row (unless a final marker row already is), the row count, the order, the y
    // range. Four rows with a y are needed; `file` says so of a file, else of arrays.
    void finish(bool marker_spare, bool file = true, bool title_row = true)
    {
        DataTable& table = m_table;
        const std::size_t rows = table.DataX.size() - 1 - (marker_spare ? 1 : 0);
        const std::string lead = file ? "not a data file: " : "";
        if (rows < 4 && !m_series.gap_x.empty())
            throw ImportError(ImportFailure::TooFewFields,
                              lead + "only " + std::to_string(rows) +
                                  " data rows hold a y value (" +
                                  std::to_string(m_series.gap_x.size()) +
                                  " are gaps), where four are needed");
        if (rows < 4)
            throw ImportError(ImportFailure::TooFewFields,
                              file ? lead + "fewer than four data rows" +
                                         (title_row ? " under the title row" : "")
                                   : "only " + std::to_string(rows) +
                                         " data rows, where four are needed");
        if (!marker_spare) {
            table.DataX.push_back(Cell::empty());
            table.DataY.push_back(Cell::empty());
        }
        table.DataCount = static_cast<std::int32_t>(table.DataX.size() - 2);
        if (m_downward) {
            m_series.reversed = true;
            const auto last = static_cast<std::ptrdiff_t>(table.DataCount) + 1;
            std::reverse(table.DataX.begin() + 1, table.DataX.begin() + last);
            std::reverse(table.DataY.begin() + 1, table.DataY.begin() + last);
            if (!m_series.sigma.empty())
                std::reverse(m_series.sigma.begin() + 1, m_series.sigma.end());
            std::reverse(m_series.gap_x.begin(), m_series.gap_x.end());
        }
        // The y range in single precision; row 0 takes no part.
        for (std::int32_t row = 1; row <= table.DataCount; ++row)
            include_in_range(table.DataY[static_cast<std::size_t>(row)].number,
                             m_series.smallest_y, m_series.largest_y);
        note_x_order(table);
    }

private:
    double x_of(const Field* field)
    {
        if (!field || field->text.empty())  // absent, empty or a quoted ""
            throw ImportError(ImportFailure::MissingX,
                              where() + (field ? ": x is empty" : ": x is missing: the line ends "
                                                                "before its column"));
        std::optional<double> number = number_in(*field, m_separator);
        if (!number && field->kind == CellKind::Text) {
            if (const std::optional<IsoTime> time = parse_iso_time(field->text))
                return date_of(*time, *field);
            if (detail::is_missing_marker(field->text))
                throw ImportError(ImportFailure::MissingX,
                                  where() + ": x is missing (" + excerpt(field->text) + ")");
        }
        if (!number)
            refuse_text(*field, 'x');
        if (m_form_set && m_series.x_form.is_date())
            throw ImportError(ImportFailure::TextValue,
                              where() + ": x = " + number_text(*number) +
                                  " is a number, where data row 1's x is a date");
        m_form_set = true;
        return in_single_range(*number, 'x');
    }

    double date_of(const IsoTime& time, const Field& field)
    {
        XForm& form = m_series.x_form;
        if (!m_form_set) {
            form = x_form_of(time);
            m_form_set = true;
        }
        const bool timed = form.kind == XKind::DateTime;
        const char* mismatch =
            !form.is_date()             ? "is a date, where data row 1's x is a number"
            : time.has_time && !timed   ? "has a time of day, where data row 1's has none"
            : !time.has_time && timed   ? "has no time of day, where data row 1's has one"
            : time.zoned && !form.zoned ? "has a time zone, where data row 1's has none"
            : time.has_time && !time.zoned && form.zoned
                ? "has no time zone, where data row 1's has one"
                : nullptr;
        if (mismatch)
            throw ImportError(ImportFailure::TextValue,
                              where() + ": x " + excerpt(field.text) + " " + mismatch);
        form.time_fields = std::max(form.time_fields, time.time_fields);
        form.fraction_digits = std::max(form.fraction_digits, time.fraction_digits);
        return days_of(time, form);
    }

    // The y, or nullopt for a gap: empty, absent, a missing-value marker or options.missing.
    std::optional<double> y_of(const Field* field) const
    {
        if (!field || field->text.empty())
            return std::nullopt;
        const std::optional<double> number = number_in(*field, m_separator);
        if (!number && detail::is_missing_marker(field->text))
            return std::nullopt;
        if (!number)
            refuse_text(*field, 'y');
        if (m_options.missing && *number == *m_options.missing)
            return std::nullopt;
        return in_single_range(*number, 'y');
    }

    double sigma_of(const Field* field) const
    {
        const std::optional<double> number =
            field ? number_in(*field, m_separator) : std::nullopt;
        if (!number)
            throw ImportError(ImportFailure::BadSigma,
                              where() + ": sigma " +
                                  (!field || field->text.empty()
                                       ? std::string("is empty")
                                       : "is the text " + excerpt(field->text) +
                                             ", not a number"));
        if (!(*number > 0.0))
            throw ImportError(ImportFailure::BadSigma,
                              where() + ": sigma = " + number_text(*number) +
                                  " is not positive, where an uncertainty must be");
        if (!std::isfinite(1.0 / (*number * *number)))  // its weight 1 / sigma^2
            throw ImportError(ImportFailure::BadSigma,
                              where() + ": sigma = " + number_text(*number) +
                                  " is too small to weigh a point (1 / sigma^2 beyond the "
                                  "double range)");
        return in_single_range(*number, 's');
    }

    double in_single_range(double value, char column) const
    {
        if (!std::isfinite(static_cast<float>(value)))
            throw ImportError(ImportFailure::OutOfRange,
                              where() + ": " + (column == 's' ? "sigma" : std::string(1, column)) +
                                  " = " + number_text(value) +
                                  " lies beyond the single-precision range");
        return value;
    }

    [[noreturn]] void refuse_text(const Field& field, char column) const
    {
        const std::string what = where() + ": " + column;
        if (m_separator == Separator::Comma && has_decimal_comma(field.text))
            throw ImportError(ImportFailure::DecimalComma,
                              what + " " + excerpt(field.text) +
                                  " has a decimal comma, where a comma-separated file has a "
                                  "decimal point");
        throw ImportError(ImportFailure::TextValue,
                          what + " is the text " + excerpt(field.text) + ", not a number");
    }

    // Increasing x; or falling x, when the first x other than row 1's falls below it. Equal ones
    // are allowed either way (samples of one age or depth).
    void follow_order(double x)
    {
        const XForm& form = m_series.x_form;
        if (!m_ordered && m_file_rows > 1 && x != m_previous_x) {
            m_ordered = true;
            m_downward = x < m_previous_x;
        }
        if (m_downward && x > m_previous_x)
            throw ImportError(ImportFailure::XDecreases,
                              where() + ": x = " + x_text(x, form) +
                                  " is more than the x before it, " +
                                  x_text(m_previous_x, form) +
                                  ": rows that run downwards must keep falling");
        if (x < m_previous_x && !m_downward)
            throw ImportError(ImportFailure::XDecreases,
                              where() + ": x = " + x_text(x, form) +
                                  " is less than the x before it, " + x_text(m_previous_x, form) +
                                  ": the rows must be in increasing x order");
        m_previous_x = x;
    }

    // "line 7 (data row 6)": the row being taken, for a refusal.
    std::string where() const { return row_place(m_line, m_file_rows); }

    ImportedSeries& m_series;
    DataTable& m_table;
    const ReadOptions& m_options;
    Separator m_separator;
    std::int64_t m_file_rows = 0;  // data rows of the file so far, gaps included, markers not
    std::size_t m_line = 0;        // where the row being taken starts
    double m_previous_x = -std::numeric_limits<double>::infinity();
    bool m_downward = false;
    bool m_ordered = false;   // an x other than row 1's has set the direction
    bool m_form_set = false;  // data row 1 has set the x form
    bool m_marked = false;    // a marker row came since the last row
};

// The first line of the file after the title that holds anything but a comment; the title when
// none does.
std::string_view first_data_line(std::string_view text, char comment)
{
    std::string_view title;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        const std::size_t start = line.find_first_not_of(" \t");
        const bool comment_line = start != std::string_view::npos && line[start] == comment;
        if (first && !comment_line)
            title = line;
        else if (!first && start != std::string_view::npos && !comment_line)
            return line;
        first = first && comment_line;
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
    const std::size_t ends = detail::line_ends(tail);
    const bool ends_on_line_end = tail.ends_with('\n') || tail.ends_with('\r');
    if (ends >= 2 || (ends == 1 && !ends_on_line_end))
        return detail::line_ends(text.substr(0, text.size() - tail.size())) + 2;
    return 0;
}

// A file of another format explains a refusal better than the refusal itself: the reason for
// `error` with that in view.
ImportError diagnosed(std::string_view text, const ImportError& error, char comment)
{
    if (is_utf16(text))
        return ImportError(ImportFailure::Utf16,
                           "the file is UTF-16 text, where a data file is UTF-8 or plain ASCII");
    const std::string_view line = first_data_line(text, comment);
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

// A marker row's cells stay in the last row until the next row replaces them, so that when the
// file ends with markers the last one read becomes the spare row.
class MarkerSpare {
public:
    explicit MarkerSpare(DataTable& table) : m_table(table) {}

    bool pending() const noexcept { return m_pending; }
    void keep(const Field* x, const Field* y)
    {
        m_texts = m_table.texts.size();
        m_table.DataX.push_back(x ? store(m_table, *x) : Cell::empty());
        m_table.DataY.push_back(y ? store(m_table, *y) : Cell::empty());
        m_pending = true;
    }
    // Drops a pending marker row before the next row is read; refuses a table beyond 32-bit rows.
    void drop()
    {
        if (m_pending) {
            m_table.texts.resize(m_texts);
            m_table.DataX.pop_back();
            m_table.DataY.pop_back();
            m_pending = false;
        } else if (m_table.DataX.size() >
                   static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            throw ImportError(ImportFailure::OutOfRange, "more than 2147483646 data rows");
        }
    }

private:
    DataTable& m_table;
    std::size_t m_texts = 0;  // pool size before the pending marker's texts
    bool m_pending = false;
};

// The title row's cells, and the chosen titles as text.
void take_titles(ImportedSeries& series, const Field* x, const Field* y, const Field* sigma)
{
    DataTable& table = series.table;
    table.DataX.push_back(x ? store(table, *x) : Cell::empty());
    table.DataY.push_back(y ? store(table, *y) : Cell::empty());
    series.x_title = x ? detail::field_text(*x) : "";
    series.y_title = y ? detail::field_text(*y) : "";
    series.sigma_title = sigma ? detail::field_text(*sigma) : "";
}

// The stream of (x, y) pairs: fields in pairs whatever the lines, the first pair the titles
// (empty without a title row), the next four the first data rows as they are, markers dropped
// from then on.
void read_pairs(std::string_view text, ImportedSeries& series, const ReadOptions& options,
                bool title_row)
{
    DataTable& table = series.table;
    FieldStream fields(text, Separator::Comma, options.comment);

    Field head[10];
    Cell cells[10];
    std::size_t title_texts = 0;
    for (int i = title_row ? 0 : 2; i < 10; ++i) {
        if (fields.at_end() && !title_row)
            throw ImportError(ImportFailure::TooFewFields,
                              "not a data file: fewer than four data rows (eight fields)");
        if (fields.at_end())
            refuse(ImportFailure::TooFewFields);
        head[i] = next_field(fields);
        cells[i] = store(table, head[i]);
        if (i == 1)
            title_texts = table.texts.size();
    }
    // The check compares the fields as they stand, a quoted number being text.
    series.FieldCheckFailed =
        cells_equal(table, cells[6], cells[3]) && cells_equal(table, cells[9], cells[3]);
    if (series.FieldCheckFailed)
        refuse(ImportFailure::FieldCheckFailed);
    table.texts.resize(title_texts);

    const std::size_t capacity = expected_rows(text);
    table.DataX.reserve(capacity);
    table.DataY.reserve(capacity);
    table.DataX.push_back(cells[0]);
    table.DataY.push_back(cells[1]);
    series.x_title = detail::field_text(head[0]);
    series.y_title = detail::field_text(head[1]);
    RowTaker rows(series, options, Separator::Comma);
    for (int row = 1; row < 5; ++row)
        rows.take(&head[2 * row], &head[2 * row + 1], nullptr, head[2 * row].line);

    MarkerSpare marker(table);
    while (!fields.at_end()) {
        marker.drop();
        const Field x = next_field(fields);
        if (fields.at_end())
            refuse(ImportFailure::EndsInsidePair);
        const Field y = next_field(fields);
        if (detail::is_marker_row(&x, &y)) {
            marker.keep(&x, &y);
            rows.mark();
        } else {
            rows.take(&x, &y, nullptr, x.line);
        }
    }
    rows.finish(marker.pending(), true, title_row);
    series.comment_lines = fields.comment_lines();
}

// One data row per line, in the columns `options` choose; blank lines are skipped, a short line
// lacks its last columns, markers are dropped from the fifth data row on.
void read_lines(std::string_view text, ImportedSeries& series, const ReadOptions& options,
                const DataLayout& layout)
{
    DataTable& table = series.table;
    const Separator separator = layout.separator;
    FieldStream fields(text, separator, options.comment);
    const std::size_t capacity = expected_rows(text);
    table.DataX.reserve(capacity);
    table.DataY.reserve(capacity);
    if (options.sigma)
        series.sigma.assign(1, 0.0);

    RowTaker rows(series, options, separator);
    MarkerSpare marker(table);
    std::optional<detail::ColumnIndexes> columns;
    std::vector<Field> line;
    std::int64_t data_lines = 0;
    while (!fields.at_end()) {
        line.clear();
        do
            line.push_back(next_field(fields));
        while (!line.back().ends_line);
        const auto column = [&line](std::optional<std::size_t> at) {
            return at ? detail::ColumnIndexes::field(line, *at) : nullptr;
        };
        if (!columns) {
            std::vector<std::string> titles;
            for (const Field& field : line)
                titles.push_back(layout.title_row ? detail::field_text(field) : "");
            columns = detail::column_indexes(titles, options, layout.title_row);
            if (layout.title_row) {
                take_titles(series, column(columns->x), column(columns->y),
                            column(columns->sigma));
                continue;
            }
            take_titles(series, nullptr, nullptr, nullptr);
        }
        if (detail::is_blank_line(line))
            continue;
        marker.drop();
        const Field* x = column(columns->x);
        const Field* y = column(columns->y);
        if (++data_lines > 4 && detail::is_marker_row(x, y)) {
            marker.keep(x, y);
            rows.mark();
        } else {
            rows.take(x, y, column(columns->sigma), line.front().line);
        }
    }
    if (!columns)
        throw ImportError(ImportFailure::TooFewFields, "not a data file: the file is empty");
    rows.finish(marker.pending(), true, layout.title_row);
    series.comment_lines = fields.comment_lines();
}

// A file of comments alone, or one whose description block runs to its end, holds no data.
void refuse_comments_only(std::string_view text, char comment)
{
    const FieldStream fields(text, Separator::Comma, comment);
    if (const std::size_t line = fields.unclosed_block())
        throw ImportError(ImportFailure::CommentsOnly,
                          "not a data file: the description block opened by \"/*\" on line " +
                              std::to_string(line) + " is never closed by \"*/\"");
    if (fields.at_end() && fields.comment_lines() > 0)
        throw ImportError(ImportFailure::CommentsOnly,
                          "not a data file: all its " + std::to_string(fields.comment_lines()) +
                              " lines are comments");
}

}  // namespace

ImportedSeries read_data_text(std::string_view text, const ReadOptions& options)
{
    refuse_comments_only(text, options.comment);
    DataLayout layout;
    try {
        layout = data_layout(text, options);
        ImportedSeries series;
        if (!layout.pairs) {
            read_lines(text, series, options, layout);
        } else {
            try {
                read_pairs(text, series, options, layout.title_row);
            } catch (const ImportError&) {
                // A title of three fields or more, the third a number: a table, where the pairs
                // refuse it.
                if (layout.titles.size() < 3)
                    throw;
                try {
                    series = ImportedSeries{};
                    read_lines(text, series, options, layout);
                    layout.pairs = false;
                } catch (const ImportError&) {
                }
                if (layout.pairs)
                    throw;
            }
        }
        series.layout = std::move(layout);
        return series;
    } catch (const ImportError& error) {
        // Another format explains a refusal of the comma reading that all other readings share.
        if (layout.separator != Separator::Comma ||
            error.reason() == ImportFailure::AmbiguousSeparator)
            throw;
        throw diagnosed(text, error, options.comment);
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

ImportedSeries read_data_file(const std::filesystem::path& path, const ReadOptions& options)
{
    return read_data_text(read_whole_file(path), options);
}

std::size_t gaps_within(const std::vector<double>& gap_x, double from, double to)
{
    const auto first = std::lower_bound(gap_x.begin(), gap_x.end(), from);
    const auto last = std::upper_bound(first, gap_x.end(), to);
    return static_cast<std::size_t>(last - first);
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

namespace {

// The rows of arrays as the reader takes the same rows of a file, x's field `x_field(i)`.
template <class XField>
ImportedSeries read_arrays(std::size_t rows, const XField& x_field, std::span<const double> y,
                           std::span<const double> sigma)
{
    if (y.size() != rows || (!sigma.empty() && sigma.size() != rows))
        throw ImportError(ImportFailure::UnequalLengths,
                          "x holds " + std::to_string(rows) + " values and y " +
                              std::to_string(y.size()) +
                              (sigma.empty() ? "" : ", sigma " + std::to_string(sigma.size())) +
                              ": each row needs one of each");
    if (rows > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - 1)
        throw ImportError(ImportFailure::OutOfRange, "more than 2147483646 data rows");
    ImportedSeries series;
    ReadOptions options;
    if (!sigma.empty()) {
        options.sigma = ColumnChoice{"", 3};
        series.sigma.assign(1, 0.0);
        series.sigma_title = "sigma";  // the arrays' own name, so that a result says it is weighted
    }
    DataTable& table = series.table;
    table.DataX.reserve(rows + 2);
    table.DataY.reserve(rows + 2);
    table.DataX.push_back(Cell::empty());  // no titles
    table.DataY.push_back(Cell::empty());
    RowTaker taker(series, options, Separator::Comma);
    for (std::size_t i = 0; i < rows; ++i) {
        const Field x = x_field(i);
        const Field y_field = number_field(y[i]);
        const Field sigma_field = number_field(sigma.empty() ? 0.0 : sigma[i]);
        taker.take(&x, std::isnan(y[i]) ? nullptr : &y_field, &sigma_field, 0);
    }
    taker.finish(false, false);
    series.layout.pairs = options.pairs_allowed();  // as the reader would take their file
    return series;
}

}  // namespace

// The values as the fields a file would hold: a NaN x is the missing marker it stands for, a NaN
// y a gap; the number kind takes every other value (its text is never shown).
ImportedSeries read_data_arrays(std::span<const double> x, std::span<const double> y,
                                std::span<const double> sigma)
{
    const auto x_field = [x](std::size_t i) {
        return std::isnan(x[i]) ? text_field("NaN") : number_field(x[i]);
    };
    return read_arrays(x.size(), x_field, y, sigma);
}

ImportedSeries read_data_arrays(std::span<const std::string> x_dates, std::span<const double> y,
                                std::span<const double> sigma)
{
    return read_arrays(
        x_dates.size(), [x_dates](std::size_t i) { return text_field(x_dates[i]); }, y, sigma);
}

namespace {

// The strip's scale and the overview's conversions of a series the reader took.
CheckedImport checked_import(ImportedSeries series)
{
    CheckedImport result{std::move(series), {}};
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
        const XForm& form = result.series.x_form;
        if (last_x == first_x)
            throw ImportError(ImportFailure::FlatSeries,
                              "the first and the last x are equal (" + x_text(first_x, form) +
                                  "): the series has no horizontal extent");
        if (static_cast<float>(last_x - first_x) == 0.0f)
            throw ImportError(ImportFailure::FlatSeries,
                              "the x span from " + x_text(first_x, form) + " to " +
                                  x_text(last_x, form) + " is 0 in single precision");
        throw ImportError(ImportFailure::FlatSeries,
                          "all y values are equal (" + number_text(result.series.largest_y) +
                              "): the series has no vertical extent");
    }
    return result;
}

}  // namespace

CheckedImport import_data_text(std::string_view text, const ReadOptions& options)
{
    return checked_import(read_data_text(text, options));
}

CheckedImport import_data_arrays(std::span<const double> x, std::span<const double> y,
                                 std::span<const double> sigma)
{
    return checked_import(read_data_arrays(x, y, sigma));
}

CheckedImport import_data_arrays(std::span<const std::string> x_dates, std::span<const double> y,
                                 std::span<const double> sigma)
{
    return checked_import(read_data_arrays(x_dates, y, sigma));
}

CheckedImport import_data_file(const std::filesystem::path& path, const ReadOptions& options)
{
    return import_data_text(read_whole_file(path), options);
}

}  // namespace tolvenar
