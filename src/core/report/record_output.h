// SPDX-License-Identifier: GPL-3.0-or-later
// A fit's record as output: one JSON object, one CSV row, the text report. A new record member
// is a few lines in json_object and, for the table, one entry in csv_columns. The window's Save,
// tolvenar-fit and Python all write these.
#pragma once

#include "core/data/x_form.h"
#include "core/job/fit_record.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar {

using Json = nlohmann::ordered_json;  // members in the order written

// A float as the double of its shortest decimal text, so that the JSON and CSV texts are those
// digits and read back to the same float; whole values as integers; null for an infinity or a
// NaN, which JSON cannot hold.
Json exact(float value);
Json exact(double value);

// An x in data x as JSON and CSV write it: `number` for plain numbers, the file's own date or
// date-time text for dates.
Json x_value(double x, const XForm& form, Json number);

// "fitted", "interrupted", "refused" (kExitRefused), "failed" (kExitSearchFailed) or
// "not written" (kExitOutputFailed).
std::string status_word(const FitRecord& record);

// `text` with each byte that is not part of valid UTF-8 read as U+FFFD.
std::string valid_utf8(const std::string& text);

// The record's object: provenance (file, version, model, crop edges, counts, seed), status and
// reason, the picture's path, and when a model was found the crop, the best of best, the
// measures, the trial count and the report lines. A file or picture name that is not UTF-8
// adds "file_bytes" or "picture_bytes": its bytes as numbers.
Json json_object(const FitRecord& record);

// The object as one line of JSON, valid UTF-8 whatever bytes its texts hold.
std::string json_line(const FitRecord& record);

struct Column {
    std::string name;
    std::function<Json(const FitRecord&)> value;  // null: an empty field
};

// The table's columns for records of `request`: provenance, the break points, R and the
// measures, the option groups asked for (the picture's path with `pictures`), then status and
// reason. Texts are valid UTF-8, and one that a spreadsheet would take for a formula (=, +, -,
// @, a tab or a carriage return first, and not a number), or that starts with a single quote,
// has a single quote put before it.
std::vector<Column> csv_columns(const FitRequest& request, bool pictures = false);

// A JSON scalar as CSV text: null as nothing, numbers as in JSON, strings as valid UTF-8 and
// with a single quote before what a spreadsheet would take for a formula.
std::string csv_text(const Json& value);

// `text` as one RFC 4180 field: quoted when it holds a comma, a quote or a line end.
std::string csv_field(std::string_view text);

void write_csv_header(std::ostream& out, const std::vector<Column>& columns);
void write_csv_row(std::ostream& out, const std::vector<Column>& columns, const FitRecord& record);

// The text lines that say what the file held: "Read in reverse order", "Gaps in the crop = 3",
// "No title row", "Comment lines skipped = 12", and a precision warning.
std::vector<std::string> series_lines(const FitRecord& record);

// The comparison's table, its event test and its choice, as the text report shows them.
std::vector<std::string> comparison_lines(const ComparisonRecord& comparison);

// The reason of a record whose refinement or bootstrap a stop cut short.
std::string refine_interruption(const RefinedModel& refined);

// Text: the report lines, after a line naming the file when `many` (the first without the blank
// line before it); an interruption's reason as the last line. Other reasons are for standard
// error.
void write_text(std::ostream& out, const FitRecord& record, bool many, bool first);

}  // namespace tolvenar
