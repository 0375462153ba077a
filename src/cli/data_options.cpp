// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/data_options.h"

#include "cli/refusals.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <limits>
#include <string_view>

namespace tolvenar::cli {

namespace {

ColumnChoice column_of(const std::string& option, const std::string& text)
{
    const ColumnChoice column = ColumnChoice::of_text(text);
    if (text.empty() || (column.name.empty() && column.number < 1))
        throw usage_error(option + " needs a column title or a number from 1, not \"" + text +
                          "\"");
    return column;
}

}  // namespace

CLI::Option* text_option(CLI::App& app, const std::string& name, std::string& target,
                         const std::string& kind, const std::string& description)
{
    return app.add_option(name, target, description)
        ->type_name(kind)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void declare_data_options(CLI::App& app, DataOptionTexts& texts)
{
    const auto value = [&](const std::string& name, std::string& target, const std::string& kind,
                           const std::string& description) {
        text_option(app, name, target, kind, description);
    };
    value("--x", texts.x, "COL",
          "the x column: its title in the first row or its\nnumber from 1 (default 1); numbers or "
          "ISO 8601\ndates (2024-03-01, 2024-03-01T12:30Z)");
    value("--y", texts.y, "COL",
          "the measured column, by title or number (default 2);\nseveral, comma-separated "
          "(Ca,Na,d18O), are each fitted\nalike and their break points' lags given (--lag-to)");
    value("--sigma", texts.sigma, "COL",
          "the column of each y's uncertainty (sigma), by title\nor number (default: none)");
    value("--missing", texts.missing, "VALUE",
          "a y equal to VALUE is missing, as an empty y, NaN,\nNA and NULL are: the row is a gap, "
          "left out of the\nfit and counted");
    value("--comment", texts.comment, "CHAR",
          "a line starting with CHAR is a comment, skipped and\ncounted (default #; %, ; or ! for "
          "other files); a leading\n/* ... */ block is one too");
}

ReadOptions read_options(const CLI::App& app, const DataOptionTexts& texts)
{
    ReadOptions options;
    if (app.count("--x") > 0)
        options.x = column_of("--x", texts.x);
    if (app.count("--y") > 0) {
        const std::vector<std::string> several = y_columns(app, texts);
        options.y = column_of("--y", several.empty() ? texts.y : several.front());
    }
    if (app.count("--sigma") > 0)
        options.sigma = column_of("--sigma", texts.sigma);
    if (app.count("--missing") > 0) {
        if (!is_number_text(texts.missing))
            throw usage_error("--missing needs a number, not \"" + texts.missing +
                              "\" (empty, NaN, NA and NULL are missing already)");
        options.missing = parse_leading_number(texts.missing);
    }
    if (app.count("--comment") > 0) {
        const std::string& c = texts.comment;
        if (c.size() != 1 || !std::ispunct(static_cast<unsigned char>(c[0])) ||
            std::string_view("\",.+-").find(c[0]) != std::string_view::npos)
            throw usage_error("--comment needs one mark such as # % ; or !, not \"" + c + "\"");
        options.comment = c[0];
    }
    return options;
}

std::vector<std::string> y_columns(const CLI::App& app, const DataOptionTexts& texts)
{
    std::vector<std::string> columns;
    if (app.count("--y") == 0 || texts.y.find(',') == std::string::npos)
        return columns;
    std::size_t at = 0;
    while (at <= texts.y.size()) {
        const std::size_t comma = std::min(texts.y.find(',', at), texts.y.size());
        const std::string column = texts.y.substr(at, comma - at);
        column_of("--y", column);
        if (std::find(columns.begin(), columns.end(), column) != columns.end())
            throw usage_error("--y names the column \"" + column + "\" twice");
        columns.push_back(column);
        at = comma + 1;
    }
    return columns;
}

Edge typed_edge(const std::string& option, const std::string& text)
{
    if (parse_iso_time(text))
        return {std::numeric_limits<double>::quiet_NaN(), option + " " + text, text, true};
    if (!is_number_text(text))
        throw usage_error(option + " needs a number or an ISO date, not \"" + text + "\"");
    try {
        return {parse_leading_number(text), option + " " + text, text, false};
    } catch (const Fault&) {
        throw refused(option + " " + text + " lies beyond the double-precision range");
    }
}

CheckedImport import_file(const std::string& file, std::istream& in, const ReadOptions& read)
{
    const bool standard_input = file == "-";
    try {
        std::string text;
        if (standard_input) {
            text.assign(std::istreambuf_iterator<char>(in), {});
            if (in.bad())
                throw ImportError(ImportFailure::CannotOpen, "cannot read standard input");
        } else {
            text = read_data_bytes(file);
        }
        return import_data_text(text, read);
    } catch (const ImportError& error) {
        throw refused(import_refusal_line(standard_input ? "standard input" : file, error));
    }
}

}  // namespace tolvenar::cli
