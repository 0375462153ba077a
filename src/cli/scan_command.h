// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit --scan: every event of each file, found by the scan and each fitted on its own
// crop by the core's scan job; one JSON object or CSV row per event, or a table per file.
#pragma once

#include "cli/arguments.h"

#include <istream>
#include <ostream>

namespace tolvenar::cli {

// Scans the options' files in order, one at a time, each over every core its events can use;
// returns the exit status, as fitting does: the largest of any file's or event's.
int scan_all(const FitOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace tolvenar::cli
