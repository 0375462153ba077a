// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/data/field_values.h"
#include "core/runtime/fault.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tolvenar {

namespace {

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

constexpr bool is_line_end(char c)
{
    return c == '\n' || c == '\r';
}

// "2024-03-01": a date that a time of day may follow after blanks.
bool is_date_only(std::string_view s)
{
    return s.size() == 10 && s[4] == '-' && s[7] == '-' &&
           std::all_of(s.begin(), s.begin() + 4, is_digit);
}

// "12:30...": a time of day at the start of `s`.
bool starts_with_clock(std::string_view s)
{
    return s.size() >= 5 && is_digit(s[0]) && is_digit(s[1]) && s[2] == ':' && is_digit(s[3]) &&
           is_digit(s[4]);
}

}  // namespace

namespace detail {

std::size_t line_ends(std::string_view s)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        count += s[i] == '\n' || (s[i] == '\r' && (i + 1 == s.size() || s[i + 1] != '\n'));
    return count;
}

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

bool read_decimal_comma(std::string_view s, double& value)
{
    const std::size_t comma = s.find(',');
    if (comma == std::string_view::npos || comma == 0 || comma + 1 >= s.size() ||
        !is_digit(s[comma - 1]) || !is_digit(s[comma + 1]) ||
        s.find_first_of(",.", comma + 1) != std::string_view::npos ||
        s.substr(0, comma).find('.') != std::string_view::npos)
        return false;
    std::string point(s);
    point[comma] = '.';
    return read_number(point, value);
}

bool is_missing_marker(std::string_view text)
{
    if (text.size() < 2 || text.size() > 4)
        return false;
    std::string lower;
    for (const char c : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "nan" || lower == "na" || lower == "null";
}

bool is_marker_row(const Field* x, const Field* y)
{
    const auto text = [](const Field* field) {
        return field && field->kind == CellKind::Text ? field->text : std::string_view("\n");
    };
    return text(x) == "Break" || text(x) == "break" || text(x) == "---" || text(y) == "---";
}

bool is_blank_line(const std::vector<Field>& line)
{
    return std::all_of(line.begin(), line.end(),
                       [](const Field& f) { return f.kind == CellKind::Empty && !f.quoted; });
}

std::optional<double> number_of(const Field& field, Separator separator)
{
    if (field.kind == CellKind::Number)
        return field.number;
    double value = 0.0;
    if (field.kind != CellKind::Text || !field.quoted || field.doubled_quotes)
        return std::nullopt;
    if (read_number(field.text, value) ||
        (allows_decimal_comma(separator) && read_decimal_comma(field.text, value)))
        return value;
    return std::nullopt;
}

std::string field_text(const Field& field)
{
    std::string text(field.text);
    if (!field.doubled_quotes)
        return text;
    std::string single;
    for (std::size_t i = 0; i < text.size(); ++i) {
        single += text[i];
        if (text[i] == '"' && i + 1 < text.size() && text[i + 1] == '"')
            ++i;
    }
    return single;
}

}  // namespace detail

FieldStream::FieldStream(std::string_view text, Separator separator, char comment)
    : m_text(text), m_separator(separator), m_comment(comment)
{
    // A UTF-8 byte order mark (spreadsheet exports) is no part of the first field.
    if (m_text.starts_with("\xEF\xBB\xBF"))
        m_pos = 3;
    // An archive's description block ("/* DATA DESCRIPTION: ... */") up to its closing line.
    const std::size_t open = m_text.find_first_not_of(" \t", m_pos);
    if (open != std::string_view::npos && m_text.substr(open).starts_with("/*")) {
        const std::size_t close = m_text.find("*/", open + 2);
        const std::size_t end = close == std::string_view::npos
                                    ? m_text.size()
                                    : std::min(m_text.find_first_of("\r\n", close), m_text.size());
        m_unclosed_block = close == std::string_view::npos ? m_line : 0;
        const std::string_view block = m_text.substr(m_pos, end - m_pos);
        m_comment_lines = detail::line_ends(block) + 1;
        m_line += detail::line_ends(block);
        m_pos = end;
        if (m_pos < m_text.size()) {  // the closing line's end
            m_pos += m_text.substr(m_pos).starts_with("\r\n") ? 2 : 1;
            ++m_line;
        }
    }
    skip_comments();
}

void FieldStream::skip_comments()
{
    const std::string_view t = m_text;
    while (m_comment != '\0') {
        const std::size_t first = t.find_first_not_of(" \t", m_pos);
        if (first == std::string_view::npos || t[first] != m_comment)
            return;
        ++m_comment_lines;
        const std::size_t end = t.find_first_of("\r\n", first);
        if (end == std::string_view::npos) {
            m_pos = t.size();
            return;
        }
        m_pos = end + (t.substr(end).starts_with("\r\n") ? 2 : 1);
        ++m_line;
    }
}

Field FieldStream::next()
{
    switch (m_separator) {
    case Separator::Comma: return next_separated<','>();
    case Separator::Semicolon: return next_separated<';'>();
    case Separator::Tab: return next_separated<'\t'>();
    case Separator::Blanks: break;
    }
    return next_separated<' '>();
}

void FieldStream::read_unquoted(Field& field, std::string_view raw) const
{
    field.text = raw;
    if (raw.empty())
        field.kind = CellKind::Empty;
    else if (detail::read_number(raw, field.number) ||
             (detail::allows_decimal_comma(m_separator) &&
              detail::read_decimal_comma(raw, field.number)))
        field.kind = CellKind::Number;
    else
        field.kind = CellKind::Text;
}

std::size_t FieldStream::read_quoted(Field& field, std::size_t p)
{
    const std::string_view t = m_text;
    field.quoted = true;
    field.kind = CellKind::Text;
    const std::size_t begin = ++p;
    std::size_t close = t.find('"', p);
    while (close != std::string_view::npos && close + 1 < t.size() && t[close + 1] == '"') {
        field.doubled_quotes = true;
        close = t.find('"', close + 2);
    }
    if (close == std::string_view::npos) {
        field.text = t.substr(begin);
        return t.size();
    }
    field.text = t.substr(begin, close - begin);
    m_line += detail::line_ends(field.text);
    return close + 1;
}

// `separator` ' ' stands for runs of blanks.
template <char separator>
Field FieldStream::next_separated()
{
    constexpr bool blank_runs = separator == ' ';
    // With the tab separator a tab is no blank to skip.
    const auto is_blank = [](char c) { return c == ' ' || (separator != '\t' && c == '\t'); };
    const auto is_separator = [&](char c) {
        return (blank_runs ? is_blank(c) : c == separator) || is_line_end(c);
    };
    const std::string_view t = m_text;
    const std::size_t size = t.size();
    std::size_t p = m_pos;
    while (p < size && is_blank(t[p]))
        ++p;

    Field field;
    field.line = m_line;
    if (p < size && t[p] == '"') {
        p = read_quoted(field, p);
        if (p == size) {  // unterminated: the rest of the text
            field.ends_line = true;
            m_pos = size;
            return field;
        }
        while (p < size && !is_separator(t[p]))
            ++p;
    } else {
        const std::size_t begin = p;
        while (p < size && !is_separator(t[p]))
            ++p;
        std::size_t end = p;
        if constexpr (blank_runs) {
            // "2024-03-01 12:30" is one x, not a date and a time.
            std::size_t after = p;
            while (after < size && is_blank(t[after]))
                ++after;
            if (is_date_only(t.substr(begin, p - begin)) && starts_with_clock(t.substr(after))) {
                p = after;
                while (p < size && !is_separator(t[p]))
                    ++p;
                end = p;
            }
        }
        while (end > begin && is_blank(t[end - 1]))
            --end;
        read_unquoted(field, t.substr(begin, end - begin));
    }

    if constexpr (blank_runs) {  // blanks before a line end separate nothing
        while (p < size && is_blank(t[p]))
            ++p;
    }
    field.ends_line = p == size || is_line_end(t[p]);
    if (p < size) {
        if (field.ends_line)
            ++m_line;
        if (t[p] == '\r' && p + 1 < size && t[p + 1] == '\n')
            ++p;
        if (field.ends_line || !blank_runs)
            ++p;
    }
    m_pos = p;
    // Most lines start with a value: one look at their first character passes them.
    if (field.ends_line && m_comment != '\0' && p < size &&
        (t[p] == m_comment || is_blank(t[p]) || t[p] == '\t'))
        skip_comments();
    return field;
}

}  // namespace tolvenar
