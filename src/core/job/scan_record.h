// SPDX-License-Identifier: GPL-3.0-or-later
// What scanning one series is asked and what it gave, as plain values: the scan's settings and
// each event's fit in, the noise, the penalty and the events found out, each event with the
// record of its own fit. The JSON lines, CSV rows and text table (core/report/scan_output.h) are
// made from it, in tolvenar-fit, the window and Python alike.
#pragma once

#include "core/job/fit_record.h"
#include "core/scan/scan.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar {

struct ScanRequest {
    // Each event's fit: its family ("Simple ramp" by default), searches, intervals and seed, as
    // tolvenar-fit --refine fits a crop alone (refined whatever `fit.refine` says). Its `from`
    // and `to` bound the part of the series scanned; none: the whole series.
    FitRequest fit;
    std::size_t min_size = 1;       // least points a segment holds after its first knot
    std::optional<double> penalty;  // per break, in squared residuals over the noise variance;
                                    // none: from the noise (scan::default_penalty)
    std::size_t max_events = 0;     // keep the largest this many; 0: all
};

struct ScanRecord {
    std::string file;     // as given; "" for arrays
    ScanRequest request;  // what was asked
    int code = kExitSuccess;  // how the scan ended, or the worst of its events' fits (kExit...)
    std::string reason;   // one line: why it was refused or stopped; "" otherwise
    std::optional<double> from, to;  // the part scanned, data x, once known
    XForm x_form;
    std::size_t points = 0;  // scanned: the rows within [from, to], each x once
    scan::ScanResult scan;   // the noise, the penalty, the segmentation and the events found
    // One a found event, in x order: event k + 1's fit on its crop, made exactly as fit_series
    // makes it for that crop alone.
    std::vector<FitRecord> events;
};

}  // namespace tolvenar
