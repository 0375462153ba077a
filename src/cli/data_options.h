// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's data options (--x, --y, --sigma, --missing) and crop edges typed as numbers or
// dates.
#pragma once

#include "cli/arguments.h"
#include "core/data/data_reader.h"

#include <CLI/CLI.hpp>
#include <istream>
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
// that is no number. With several --y columns, y is the first.
ReadOptions read_options(const CLI::App& app, const DataOptionTexts& texts);
// The --y columns as typed when they are several ("Ca,d18O"); empty for one. Usage errors for an
// empty entry, a column 0 or one given twice.
std::vector<std::string> y_columns(const CLI::App& app, const DataOptionTexts& texts);

// A typed crop edge: a number, or an ISO date or date-time whose value waits for the file's x form.
Edge typed_edge(const std::string& option, const std::string& text);

// The data of an accepted file ("-": standard input, read from `in`); the import's refusals as
// exit 2.
CheckedImport import_file(const std::string& file, std::istream& in, const ReadOptions& read);
}  // namespace tolvenar::cli
