// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit with several --y columns: each file's series fitted alike and their lags to the
// --lag-to column, file by file, then the lags combined over the files (one event each).
#pragma once

#include "cli/arguments.h"

#include <istream>
#include <ostream>

namespace tolvenar::cli {

// Each file's lags in file order (text tables, JSON objects or CSV rows), then with many files
// the combined ones; refusals on `err`. The exit status as fit_all's: the largest of any file.
int fit_all_lags(const FitOptions& options, std::istream& in, std::ostream& out,
                 std::ostream& err);

}  // namespace tolvenar::cli
