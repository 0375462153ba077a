// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's --refine and --bootstrap: the family's optimum near the search's best, its
// intervals, and the lines that follow the search's report.
#pragma once

#include "cli/arguments.h"
#include "cli/file_result.h"
#include "core/session/fit_session.h"

#include <atomic>
#include <optional>

namespace tolvenar::cli {

// The session's refinement of its best of best, and with options.bootstrap its intervals, on
// `threads` cores. The lines read "Refined X1 = ..", the sums of squares, then one line on the
// bootstrap ("37 of 2000 replicates" when a signal cut it short) and "X2 90 % interval = lo ..
// hi" per reported value. `stop` (a signal) ends the refinement and the bootstrap at their
// best so far.
RefinedModel refined_model(const FitSession& session, const FitOptions& options, int threads,
                           const std::atomic<bool>& stop);

// The record of a refined fit made already (and of its intervals, from `request`), as
// refined_model writes it.
RefinedModel refined_record(const FitSession& session, ModelFamily family,
                            const refine::RefinedFit& fit,
                            const std::optional<refine::BootstrapResult>& boot,
                            const IntervalRequest& request);

}  // namespace tolvenar::cli
