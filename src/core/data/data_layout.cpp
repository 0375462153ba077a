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
constexpr std::size_t kLongestSampled = 1024;  // fields kept of a line; the rest are read past

constexpr std::array kCandidates = {Separator::Comma, Separator::Semicolon, Separator::Tab,
                                    Separator::Blanks};

// One line's fields, up to kLongestSampled; `cut` when a number beyond the double range ends it.
struct SampleLine {
    std::vector<Field> fields;
    bool cut = false;
};

// A wide line is read to its end, so that the next line sampled is the file's next line and not
// the rest of this one (a title row of a thousand columns and more).
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
        if (line.fields.size() < kLongestSampled)
            line.fields.push_back(field);
        if (field.ends_line || stream.at_end())
            return line;
    }
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
    bool fits = false;             // every data row's x and y read; the first line has two fields
    bool separates_every = false;  // the separator separates values on every data row
    bool title_row = true;         // false: the first line reads as data
    bool names_found = true;       // the columns asked for by title are among the titles
    bool even = true;              // every data row holds as many fields as the first line
    std::vector<std::string> titles;
    std::vector<std::pair<std::optional<double>, std::optional<double>>> reading;
};

// Whether the first line is data, its x and y taken in the columns chosen by number. The first
// two stand in for a title asked for that the line does not hold (one it holds makes it a title
// row) and for a number beyond the line, refused after as no such column.
bool first_line_is_data(const std::vector<Field>& line, const std::vector<std::string>& titles,
                        const ReadOptions& options, Separator separator)
{
    if (!options.x.name.empty() || !options.y.name.empty()) {
        try {
            detail::column_indexes(titles, options);
            return false;
        } catch (const ImportError&) {
        }
    }
    const auto index = [&line](const ColumnChoice& choice, std::size_t first_two) {
        const auto number = static_cast<std::size_t>(choice.number);
        return choice.name.empty() && number >= 1 && number <= line.size() ? number - 1 : first_two;
    };
    return detail::reads_as_data(detail::ColumnIndexes::field(line, index(options.x, 0)),
                                 detail::ColumnIndexes::field(line, index(options.y, 1)),
                                 separator);
}

Sample sample(std::string_view text, Separator separator, const ReadOptions& options)
{
    Sample sample;
    FieldStream stream(text, separator, options.comment);
    if (stream.at_end())
        return sample;
    const SampleLine first = next_line(stream);
    for (const Field& field : first.fields)
        sample.titles.push_back(detail::field_text(field));
    sample.title_row = !first_line_is_data(first.fields, sample.titles, options, separator);
    if (!sample.title_row)
        sample.titles.assign(sample.titles.size(), "");
    // Columns the title row lacks are refused by the reader, naming the titles it has.
    std::optional<detail::ColumnIndexes> columns;
    try {
        columns = detail::column_indexes(sample.titles, options, sample.title_row);
    } catch (const ImportError&) {
        columns = detail::ColumnIndexes{};
        sample.names_found = false;
    }
    bool every = true, some = false, readable = true, any_y = false;
    std::size_t rows = 0;
    const auto take = [&](const SampleLine& line) {
        const Field* x = detail::ColumnIndexes::field(line.fields, columns->x);
        const Field* y = detail::ColumnIndexes::field(line.fields, columns->y);
        if (detail::is_marker_row(x, y))
            return;
        ++rows;
        sample.even = sample.even && line.fields.size() == first.fields.size();
        any_y = any_y || y;
        readable = readable && x && readable_x(x, separator) && readable_y(y, separator);
        sample.reading.emplace_back(sampled_value(x, separator), sampled_value(y, separator));
        const bool separates = separates_values(line, separator);
        every = every && separates;
        some = some || separates;
    };
    if (!sample.title_row)
        take(first);
    while (!stream.at_end() && rows < kSampleRows) {
        const SampleLine line = next_line(stream);
        if (line.cut)
            break;
        if (!detail::is_blank_line(line.fields))
            take(line);
    }
    // Only a separator between values on some row tells a table from a comma file's padding; a
    // title found among blank-separated words whose column no row reaches reads nothing.
    sample.fits = readable && rows > 0 && first.fields.size() >= 2 &&
                  (separator == Separator::Comma || some) &&
                  (any_y || options.y.name.empty() || !sample.names_found);
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

// The first three fields of the pair stream and whether each shares the first line; nullptr
// beyond the text.
struct StreamHead {
    std::array<Field, 3> fields;
    std::size_t count = 0;
    std::size_t on_first_line = 0;

    const Field* at(std::size_t i) const { return i < count ? &fields[i] : nullptr; }
};

StreamHead stream_head(std::string_view text, char comment)
{
    StreamHead head;
    FieldStream stream(text, Separator::Comma, comment);
    bool first_line = true;
    while (head.count < head.fields.size() && !stream.at_end()) {
        try {
            head.fields[head.count] = stream.next();
        } catch (const Fault&) {  // beyond the double range: the reader names the line
            break;
        }
        head.on_first_line += first_line;
        first_line = first_line && !head.fields[head.count].ends_line;
        ++head.count;
    }
    return head;
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

bool reads_as_data(const Field* x, const Field* y, Separator separator)
{
    if (!x || !y || x->text.empty())
        return false;
    const bool x_data = quoted_number(*x, separator) || parse_iso_time(x->text);
    const bool y_gap = y->text.empty() || (y->kind == CellKind::Text && is_missing_marker(y->text));
    return x_data && (quoted_number(*y, separator) || y_gap);
}

ColumnIndexes column_indexes(const std::vector<std::string>& titles, const ReadOptions& options,
                             bool title_row)
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
                                  " for " + role + ": " +
                                  (title_row ? "the title row has " + std::to_string(titles.size()) +
                                                   " (" + listed() + ")"
                                             : "the first line has " +
                                                   std::to_string(titles.size())));
        }
        if (!title_row)
            throw ImportError(ImportFailure::NoSuchColumn,
                              std::string("no column is titled \"") + choice.name + "\" for " +
                                  role + ": the file has no title row (its first line is data), "
                                         "so its columns go by number (1, 2, ...)");
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
    std::vector<std::size_t> fitting, named;
    for (std::size_t i = 0; i < kCandidates.size(); ++i) {
        samples[i] = sample(text, kCandidates[i], options);
        if (samples[i].fits)
            fitting.push_back(i);
        if (samples[i].fits && samples[i].names_found)
            named.push_back(i);
    }
    // Titles with blanks inside ("Age [ka BP]") are asked for as the separator that holds them
    // whole reads them; a word of such a title found by blanks alone decides nothing.
    if (!named.empty() && kCandidates[named.front()] != Separator::Blanks)
        fitting = named;
    std::size_t chosen = 0;  // comma, when it reads the first rows or nothing else does
    if (!fitting.empty() && fitting.front() != 0) {
        // Of readings that differ, the one whose every row holds as many fields as the first
        // line: a tab file's empty cell (two tabs running), which blanks would read one field
        // short, taking the next column's value for it.
        const auto differs = [&](std::size_t i) {
            return samples[i].reading != samples[fitting.front()].reading;
        };
        const auto even = std::count_if(fitting.begin(), fitting.end(),
                                        [&](std::size_t i) { return samples[i].even; });
        if (even == 1 && std::any_of(fitting.begin(), fitting.end(), differs))
            std::erase_if(fitting, [&](std::size_t i) { return !samples[i].even; });
        for (const std::size_t i : fitting) {
            if (!differs(i))
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
    layout.title_row = samples[chosen].title_row;
    if (layout.separator != Separator::Comma || !options.pairs_allowed()) {
        layout.pairs = false;
        return layout;
    }
    // The pair stream's titles are its first two fields, on one line or not; a third field of
    // the first line that is text or empty (a spreadsheet's empty columns) would be taken for the
    // first data x and refused.
    const StreamHead head = stream_head(text, options.comment);
    layout.title_row = !detail::reads_as_data(head.at(0), head.at(1), Separator::Comma);
    if (!layout.title_row)
        layout.titles.assign(layout.titles.size(), "");
    layout.pairs = layout.title_row ? !(head.on_first_line == 3 &&
                                        head.fields[2].kind != CellKind::Number)
                                    : head.on_first_line <= 2;
    return layout;
}

std::string_view separator_text(Separator separator)
{
    return separator_name(separator);
}

}  // namespace tolvenar
