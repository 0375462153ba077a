// SPDX-License-Identifier: GPL-3.0-or-later
// The result and box records' resets and the widening rule of the constraint boxes.
#pragma once

#include "core/model/engine_state.h"

namespace tolvenar {

// Empties the best of best and the constraint boxes: BestOfBestX/Y(1..6) = -9999, lower limits
// 999999, upper limits -999999, BestOfBestSqDist = 999999. BestOfBestR stays.
void forget_best_of_best(EngineState& state);

// Sets all four limits of manual boxes 1..6 to -9999.
void clear_manual_boxes(EngineState& state);

// The constraint and manual boxes of `from` into `to`, for a state that draws as `from` does.
void copy_boxes(const EngineState& from, EngineState& to);

// Grows constraint box k = 1..6 to enclose vertex k of the run's best model (BestModelX/Y);
// an empty box takes the vertex itself.
void widen_constraint_boxes(EngineState& state);

}  // namespace tolvenar
