// SPDX-License-Identifier: GPL-3.0-or-later
// A deterministic local descent for the break points: Nelder-Mead simplex searches restarted
// from their own end with a smaller simplex while that still lowers the value (a collapsed
// simplex otherwise stops short on a ridge).
#pragma once

#include "core/refine/optimum.h"

#include <atomic>
#include <functional>
#include <vector>

namespace tolvenar::refine {

// The least value of `f` found from `start`, first simplex edges `step`, the last no shorter
// than `smallest`; ties are broken by vertex order so the walk is the same on every machine.
// Returns early, with the best so far, once `stop` is set.
Minimum descend(const std::function<double(const std::vector<double>&)>& f,
                std::vector<double> start, double step, double smallest,
                const std::atomic<bool>* stop = nullptr);

}  // namespace tolvenar::refine
