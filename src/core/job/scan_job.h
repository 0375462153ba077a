// SPDX-License-Identifier: GPL-3.0-or-later
// The scan job: every abrupt transition of one series (core/scan), each then fitted on its own
// crop by the fit job itself, so that an event's record is, number for number, the record of
// tolvenar-fit --from A --to B --refine on that crop. The events' fits run in parallel over the
// cores; each starts from its own fresh random source, so the records do not depend on the
// thread count or the order they finish in.
#pragma once

#include "core/data/data_reader.h"
#include "core/job/fit_job.h"
#include "core/job/scan_record.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tolvenar {

// The rows of `table` within [from, to] as the scan takes them: x ascending, each x once (rows
// of equal x as one point at their mean y).
struct ScanPoints {
    std::vector<double> x, y;
};
ScanPoints scan_points(const DataTable& table, double from, double to);

// The request of event `e`'s fit: request.fit refined, on the event's crop, its edges written as
// a user would type them (a file of dates: in its own form).
FitRequest event_request(const ScanRequest& request, const scan::Event& e, const XForm& form);

// Scans the imported series as `request` asks and fits each event found (fit_series), on up to
// control.threads cores together; `file` names it in the records. A stop (control.stop) ends the
// scan where it is, or the events' fits with the best each found so far. Every refusal and
// interruption ends up in the record.
ScanRecord scan_events(const CheckedImport& imported, const ScanRequest& request,
                       const std::string& file, const JobControl& control,
                       JobProgress* progress = nullptr);

// The imported series a loaded session holds, as the reader gave it (the window keeps no other
// copy): its table, the form of its x, its sigma column and what `notes` say of the file.
CheckedImport imported_of(const FitSession& session, const SeriesNotes& notes);

}  // namespace tolvenar
