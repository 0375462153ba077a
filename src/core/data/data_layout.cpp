// SPDX-License-Identifier: GPL-3.0-or-later
// Which separator a data file uses, and whether it is read as pairs or in columns.
#include "core/data/field_values.h"
#include "core/runtime/fault.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

namespace tolvenar {

namespace {

constexpr std::size_t kSampleRows = 32;        // data lines after the title that decide
constexpr std::size_t kLongestSampled = 1024;  // fields a line may hold; a longer one ends it

constexpr std::array kCandidates = {Separator::Comma, Separator::Semicolon, Separator::Tab,
                                    Separator::Blanks};

// One line's fields, up to kLongestSampled; `cut` when the line holds more.
struct SampleLine {
    std::vector<Field> fields;
    bool cut = false;
};

SampleLine next_line(FieldStream& stream)
{
    SampleLine line;
    for (;;) {
        Field field;
        try {
            field = stream.next();
        } catch (const Fault&) {  // beyond the double range: the reader names the line
            line.cut = true;
            return line;
        }
        if (line.fields.size() == kLongestSampled) {
            line.cut = true;
            return line;
        }
        line.fields.push_back(field);
        if (field.ends_line || stream.at_end())
            return line;
    }
}

bool is_blank_line(const SampleLine& line)
{
    return line.fields.size() == 1 && line.fields[0].kind == CellKind::Empty &&
           !line.fields[0].quoted;
}

// A field's number; a quoted one beyond the double range counts as one, which the reader refuses.
std::optional<double> quoted_number(const Field& field, Separator separator)
{
    try {
        return detail::number_of(field, separator);
    } catch (const Fault&) {
        return HUGE_VAL;
    }
}

// An x the reader can take or refuse by name: a number, a date, or nothing at all.
bool readable_x(const Field* x, Separator separator)
{
    if (!x || x->kind != CellKind::Text)
        return true;
    return quoted_number(*x, separator) || parse_iso_time(x->text) ||
           detail::is_missing_marker(x->text);
}

bool readable_y(const Field* y, Separator separator)
{
    return !y || y->kind != CellKind::Text || quoted_number(*y, separator) ||
           detail::is_missing_marker(y->text);
}

// The value of a sampled x or y, to compare two separators' readings: nullopt for anything but
// a number or a date.
std::optional<double> sampled_value(const Field* field, Separator separator)
{
    if (!field)
        return std::nullopt;
    if (const auto number = quoted_number(*field, separator))
        return number;
    if (const auto time = parse_iso_time(field->text))
        return static_cast<double>(time->day) + time->second / 86400.0;
    return std::nullopt;
}

// Whether the separator stands between two fields of `line` as no comma file's padding can:
// with something other than a comma on both sides. Comma files hold tabs and blanks only beside
// their commas and line ends.
bool separates_values(const SampleLine& line, Separator separator)
{
    if (separator == Separator::Semicolon)
        return line.fields.size() >= 2;
    for (std::size_t i = 1; i < line.fields.size(); ++i) {
        const Field& a = line.fields[i - 1];
        const Field& b = line.fields[i];
        if (a.text.empty() || b.text.empty())
            continue;
        if ((a.quoted || a.text.back() != ',') && (b.quoted || b.text.front() != ','))
            return true;
    }
    return false;
}

// What the first rows say of one separator.
struct Sample {
    bool fits = false;             // every data row's x and y read; the title has two fields
    bool separates_every = false;  // the separator separates values on every data row
    std::vector<std::string> titles;
    std::vector<std::pair<std::optional<double>, std::optional<double>>> reading;
};

Sample sample(std::string_view text, Separator separator, const ReadOptions& options)
{
    Sample sample;
    FieldStream stream(text, separator);
    if (stream.at_end())
        return sample;
    const SampleLine title = next_line(stream);
    for (const Field& field : title.fields)
        sample.titles.push_back(detail::field_text(field));
    // Columns the title row lacks are refused by the reader, naming the titles it has.
    std::optional<detail::ColumnIndexes> columns;
    try {
        columns = detail::column_indexes(sample.titles, options);
    } catch (const ImportError&) {
        columns = detail::ColumnIndexes{};
    }
    bool every = true, some = false, readable = true;
    std::size_t rows = 0;
    while (!stream.at_end() && rows < kSampleRows) {
        const SampleLine line = next_line(stream);
        if (line.cut)
            break;
        if (is_blank_line(line))
            continue;
        const Field* x = detail::ColumnIndexes::field(line.fields, columns->x);
        const Field* y = detail::ColumnIndexes::field(line.fields, columns->y);
        if (detail::is_marker_row(x, y))
            continue;
        ++rows;
        readable = readable && x && readable_x(x, separator) && readable_y(y, separator);
        sample.reading.emplace_back(sampled_value(x, separator), sampled_value(y, separator));
        const bool separates = separates_values(line, separator);
        every = every && separates;
        some = some || separates;
    }
    // Only a separator between values on some row tells a table from a comma file's padding.
    sample.fits = readable && rows > 0 && title.fields.size() >= 2 &&
                  (separator == Separator::Comma || some);
    sample.separates_every = rows > 0 && every;
    return sample;
}

const char* separator_name(Separator separator)
{
    switch (separator) {
    case Separator::Comma: return "comma";
    case Separator::Semicolon: return "semicolon";
    case Separator::Tab: return "tab";
    case Separator::Blanks: break;
    }
    return "blanks";
}

// Whether the pair stream would take the third field of the title line for the first data x and
// refuse it: a text, quoted or not.
bool third_title_is_text(std::string_view text)
{
    FieldStream stream(text);
    for (int i = 0; i < 3; ++i) {
        if (stream.at_end())
            return false;
        const Field field = stream.next();
        if (i == 2)
            return field.kind == CellKind::Text;
        if (field.ends_line)
            return false;
    }
    return false;
}

}  // namespace

ColumnChoice ColumnChoice::of_text(std::string_view text)
{
    const bool digits = !text.empty() && text.size() <= 9 &&
                        std::all_of(text.begin(), text.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    if (!digits)
        return {std::string(text), 0};
    int number = 0;
    for (const char c : text)
        number = number * 10 + (c - '0');
    return {"", number};
}

bool ReadOptions::pairs_allowed() const
{
    return x == ColumnChoice{"", 1} && y == ColumnChoice{"", 2} && !sigma;
}

namespace detail {

const Field* ColumnIndexes::field(const std::vector<Field>& line, std::size_t column)
{
    return column < line.size() ? &line[column] : nullptr;
}

ColumnIndexes column_indexes(const std::vector<std::string>& titles, const ReadOptions& options)
{
    const auto listed = [&titles] {
        std::string list;
        for (const std::string& title : titles)
            list += (list.empty() ? "\"" : ", \"") + title + "\"";
        return list;
    };
    const auto index_of = [&](const ColumnChoice& choice, const char* role) -> std::size_t {
        if (choice.name.empty()) {
            if (choice.number >= 1 && static_cast<std::size_t>(choice.number) <= titles.size())
                return static_cast<std::size_t>(choice.number) - 1;
            throw ImportError(ImportFailure::NoSuchColumn,
                              std::string("there is no column ") + std::to_string(choice.number) +
                                  " for " + role + ": the title row has " +
                                  std::to_string(titles.size()) + " (" + listed() + ")");
        }
        const auto lower = [](std::string_view s) {
            std::string out;
            for (const char c : s)
                out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return out;
        };
        std::size_t found = titles.size();
        for (std::size_t i = titles.size(); i-- > 0;) {
            if (titles[i] == choice.name)
                return i;
            if (lower(titles[i]) == lower(choice.name))
                found = i;
        }
        if (found < titles.size())
            return found;
        throw ImportError(ImportFailure::NoSuchColumn,
                          std::string("no column is titled \"") + choice.name + "\" for " + role +
                              ": the titles are " + listed());
    };
    ColumnIndexes columns;
    columns.x = index_of(options.x, "x");
    columns.y = index_of(options.y, "y");
    if (options.sigma)
        columns.sigma = index_of(*options.sigma, "sigma");
    return columns;
}

}  // namespace detail

DataLayout data_layout(std::string_view text, const ReadOptions& options)
{
    std::array<Sample, kCandidates.size()> samples;
    std::vector<std::size_t> fitting;
    for (std::size_t i = 0; i < kCandidates.size(); ++i) {
        samples[i] = sample(text, kCandidates[i], options);
        if (samples[i].fits)
            fitting.push_back(i);
    }
    std::size_t chosen = 0;  // comma, when it reads the first rows or nothing else does
    if (!fitting.empty() && fitting.front() != 0) {
        for (const std::size_t i : fitting) {
            if (samples[i].reading == samples[fitting.front()].reading)
                continue;
            std::string names;
            for (std::size_t k = 0; k < fitting.size(); ++k)
                names += std::string(k == 0 ? "" : k + 1 == fitting.size() ? " and " : ", ") +
                         separator_name(kCandidates[fitting[k]]);
            throw ImportError(ImportFailure::AmbiguousSeparator,
                              "the separator is ambiguous: " + names +
                                  " read the first rows differently");
        }
        chosen = fitting.front();
    } else if (fitting.empty()) {
        // No separator reads the first rows: a semicolon or tab between values on every row
        // refuses them with the row's reason, else the comma reading with its own.
        for (const std::size_t i : {1, 2}) {
            if (samples[i].separates_every && samples[i].titles.size() >= 2) {
                chosen = i;
                break;
            }
        }
    }
    DataLayout layout;
    layout.separator = kCandidates[chosen];
    layout.titles = std::move(samples[chosen].titles);
    layout.pairs = layout.separator == Separator::Comma && options.pairs_allowed() &&
                   !third_title_is_text(text);
    return layout;
}

std::string_view separator_text(Separator separator)
{
    return separator_name(separator);
}

}  // namespace tolvenar
