// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's refined fit and bootstrap intervals: the lines after the search's report and
// the members after its JSON report.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/family.h"
#include "core/refine/bootstrap.h"
#include "core/refine/refine.h"

#include <optional>
#include <string>
#include <vector>

namespace tolvenar::cli {

struct RefineOutput {
    refine::RefinedFit fit;
    float search_sq_dist = 0.0f;  // the search's best of best
    std::optional<refine::BootstrapResult> bootstrap;
    refine::BootstrapSettings settings;  // replicates, level, seed of the bootstrap
};

// "Refined X1 = ..." .. "Refined R = ...", the measure, the sums of squares; then with a
// bootstrap one line on it and "X2 90 % interval = lo .. hi" per reported value.
std::vector<std::string> refine_lines(const EngineState& state, ModelFamily family,
                                      const RefineOutput& output);

// The JSON members ",\n  \"refined\": {...}" and, with a bootstrap, ",\n  \"bootstrap\": {...}".
std::string refine_json(const EngineState& state, ModelFamily family, const RefineOutput& output);

}  // namespace tolvenar::cli
