// SPDX-License-Identifier: GPL-3.0-or-later
// A lag job's record as output: a file's JSON object (its series' fit objects and its lags), its
// CSV rows (one a series and break point), its text table; and the lags combined over files.
#pragma once

#include "core/job/lag_combine.h"
#include "core/job/lag_job.h"
#include "core/report/record_output.h"

#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace tolvenar {

// The provenance and status a fit's object starts with, then "series" (each series' fit object
// under its title) and "lags" ({"series", "to", "vertex", "lag", "interval", "joint"}).
Json lag_json_object(const LagRecord& record);
std::string lag_json_line(const LagRecord& record);

// {"combined": [{"series", "to", "vertex", "lag", "interval", "spread_interval", "events"}]}
Json combined_json_object(std::span<const CombinedRow> rows);

void write_lag_csv_header(std::ostream& out);
// One row a lag; a file without lags (refused, failed) one row with its status and reason.
void write_lag_csv_rows(std::ostream& out, const LagRecord& record);

// The text's line over the table: the reference, the level, the replicates and how they were
// drawn.
std::string lag_headline(const LagRecord& record);
// The lags as a table's cells, the titles first: series, to, vertex ("X2"), lag, interval
// ("lo .. hi", "-" without replicates) and joint ("yes" when the replicates shared their draws).
std::vector<std::vector<std::string>> lag_rows(const LagRecord& record);

// The table of the file's lags, after a line naming the file when `many`; an interruption's
// reason as the last line.
void write_lag_text(std::ostream& out, const LagRecord& record, bool many, bool first);
// The table of the lags combined over events.
void write_combined_text(std::ostream& out, std::span<const CombinedRow> rows, double level);

}  // namespace tolvenar
