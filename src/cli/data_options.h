// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's data options (--x, --y, --sigma, --missing), crop edges typed as dates, and what
// the file said of its data (gaps, dates, a downward axis) as the outputs write it.
#pragma once

#include "cli/arguments.h"
#include "cli/file_result.h"
#include "core/data/data_reader.h"
#include "core/session/fit_session.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tolvenar::cli {

// The data options as typed, read after the parse so that refusals name them as typed.
struct DataOptionTexts {
    std::string x, y, sigma, missing, comment;
};

// An option that takes one text (the last when given again), shown in --help as `kind`.
CLI::Option* text_option(CLI::App& app, const std::string& name, std::string& target,
                         const std::string& kind, const std::string& description);

void declare_data_options(CLI::App& app, DataOptionTexts& texts);
// The reader's options from the typed texts; usage errors for a column 0 or a missing value
// that is no number.
ReadOptions read_options(const CLI::App& app, const DataOptionTexts& texts);

// A typed crop edge: a number, or an ISO date or date-time whose value waits for the file's x form.
Edge typed_edge(const std::string& option, const std::string& text);
// The edge in the file's x: a date edge read in the form (refused for a file of plain numbers, or
// a zone where the file's date-times have none), a number refused for a file of dates.
Edge edge_in(const Edge& edge, const XForm& form);

// What the reader said of the series that the outputs report, for the crop [from, to].
void note_series(FileResult& result, const ImportedSeries& series, double from, double to);
// Whether single precision holds the session's crop finely enough for the search.
void note_precision(FileResult& result, const FitSession& session);

// An x in data x as JSON and CSV write it: `number` for plain numbers, the file's own date or
// date-time text for dates.
nlohmann::ordered_json x_value(double x, const XForm& form, nlohmann::ordered_json number);

// The text lines that say what the file held: "Read in reverse order", "Gaps in the crop = 3",
// "No title row", "Comment lines skipped = 12", and a precision warning.
std::vector<std::string> series_lines(const FileResult& result);

}  // namespace tolvenar::cli
