// SPDX-License-Identifier: GPL-3.0-or-later
// A scan's record as output: one JSON object and one CSV row per event (the event's fit record
// as record_output writes it, with the event's number first and what the scan saw of it last),
// and a text table of the events. A scan without an event, or refused or stopped before its
// events, is one object (and a text line) saying so, with the noise and the penalty used.
#pragma once

#include "core/job/scan_record.h"
#include "core/report/record_output.h"

#include <ostream>
#include <string>
#include <vector>

namespace tolvenar {

// The scan's own view of the series: points, noise_sd, persistence (tau, x units), phi (at the
// mean gap), penalty and block (points per mean the segmentation ran on).
Json scan_summary(const ScanRecord& record);

// One object per event: "event" (1, 2, ... in x order), the members of its fit record's object,
// and "scan": the summary with the event's onset, end, level_before, level_after and amplitude
// as the segmentation found them. No event, or none fitted (refused, stopped during the scan):
// the one object of the scan's provenance and status ("no event" when none stood out), with
// "scan" once the scan has run.
std::vector<Json> scan_objects(const ScanRecord& record);
std::vector<std::string> scan_json_lines(const ScanRecord& record);

// The table's columns for scans of `request`: "event", the columns of an event's fit, then
// scan_onset, scan_end, scan_amplitude, noise_sd and penalty. One row per event; a scan without
// events has none.
struct ScanColumn {
    std::string name;
    std::function<Json(const ScanRecord&, std::size_t event)> value;  // event: 0-based
};
std::vector<ScanColumn> scan_csv_columns(const ScanRequest& request);
void write_scan_csv_header(std::ostream& out, const std::vector<ScanColumn>& columns);
void write_scan_csv_rows(std::ostream& out, const std::vector<ScanColumn>& columns,
                         const ScanRecord& record);

// Whether the scan itself ran to its end (its events' fits may still have been cut short).
bool scan_ran(const ScanRecord& record);

// The text's first line: how many events stood out in how many points, the noise and the
// penalty ("No event stands out in ..." when none did).
std::string scan_headline(const ScanRecord& record);

// The text's table as cells: the titles (event, onset, end, the levels before and after, the
// amplitude, and with intervals the onset's and the end's), one row an event, from its refined
// fit (x in the file's form), "-" where an event has none; and a note for each such event.
struct ScanTable {
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> notes;
};
ScanTable scan_table(const ScanRecord& record);

// Each event's onset and end in data x as the table shows them: its refined fit's second and
// last but one vertex, or where the scan saw them when the event has no refined fit.
struct EventSpan {
    double onset = 0.0;
    double end = 0.0;
};
std::vector<EventSpan> event_spans(const ScanRecord& record);

// Text: a line on the scan (points, noise, penalty), then a table of the events (event, onset,
// end, the levels before and after, the amplitude, and with intervals the onset's and the
// end's), each from its refined fit; "No event stands out" when none does. After a line naming
// the file when `many` (the first without the blank line before it); an interruption's reason as
// the last line. Other reasons are for standard error.
void write_scan_text(std::ostream& out, const ScanRecord& record, bool many, bool first);

}  // namespace tolvenar
