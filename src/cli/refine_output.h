// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's --refine and --bootstrap: the family's optimum near the search's best, its
// intervals, and the lines that follow the search's report.
#pragma once

#include "cli/arguments.h"
#include "cli/file_result.h"
#include "core/model/engine_state.h"
#include "core/refine/refine.h"
#include "core/search/search.h"

#include <vector>

namespace tolvenar::cli {

// The refinement of the best of best in `state` from the run bests, and with options.bootstrap
// its intervals from replicates searched as `settings` searched the crop, on `threads` cores.
// The lines read "Refined X1 = ..", the sums of squares, then one line on the bootstrap ("37 of
// 2000 replicates" when a signal cut it short) and "X2 90 % interval = lo .. hi" per reported
// value. A signal (interrupt_flag) stops the refinement and the bootstrap at their best so far.
RefinedModel refined_model(const EngineState& state, const SearchSettings& settings,
                           const FitOptions& options, std::vector<refine::Model> run_bests,
                           int threads);

}  // namespace tolvenar::cli
