// SPDX-License-Identifier: GPL-3.0-or-later
// Where a file's result becomes output: the report lines, one JSON object, one CSV row. A new
// result member is a few lines in json_object and, for the table, one entry in csv_columns.
#pragma once

#include "cli/arguments.h"
#include "cli/file_result.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::cli {

using Json = nlohmann::ordered_json;  // members in the order written

// A float as the double of its shortest decimal text, so that the JSON and CSV texts are those
// digits and read back to the same float; whole values as integers; null for an infinity or a
// NaN, which JSON cannot hold.
Json exact(float value);
Json exact(double value);

// "fitted", "interrupted", "refused" (exit 2), "failed" (exit 3) or "not written" (exit 1).
std::string status_word(const FileResult& result);

// `text` with each byte that is not part of valid UTF-8 read as U+FFFD.
std::string valid_utf8(const std::string& text);

// The file's object: provenance (file, version, model, crop edges, counts, seed), status and
// reason, the picture with --plot, and when a model was found the crop, the best of best, the
// measures, the trial count and the report lines. A file or picture name that is not UTF-8
// adds "file_bytes" or "picture_bytes": its bytes as numbers.
Json json_object(const FileResult& result, const FitOptions& options);

// The object as one line of JSON, valid UTF-8 whatever bytes its texts hold.
std::string json_line(const FileResult& result, const FitOptions& options);

// The reason of a file whose refinement or bootstrap a signal cut short.
std::string refine_interruption(const RefinedModel& refined);

struct Column {
    std::string name;
    std::function<Json(const FileResult&)> value;  // null: an empty field
};

// The table's columns: provenance, the break points, R and the measures, the option groups
// asked for (the picture with --plot), then status and reason. Texts are valid UTF-8, and one
// that a spreadsheet would take for a formula (=, +, -, @, a tab or a carriage return first,
// and not a number), or that starts with a single quote, has a single quote put before it.
std::vector<Column> csv_columns(const FitOptions& options);

// `text` as one RFC 4180 field: quoted when it holds a comma, a quote or a line end.
std::string csv_field(std::string_view text);

void write_csv_header(std::ostream& out, const std::vector<Column>& columns);
void write_csv_row(std::ostream& out, const std::vector<Column>& columns,
                   const FileResult& result);

// Text: the report lines, after a line naming the file when `many` (the first without the blank
// line before it); an interruption's reason as the last line. Other reasons are for standard
// error.
void write_text(std::ostream& out, const FileResult& result, bool many, bool first);

}  // namespace tolvenar::cli
