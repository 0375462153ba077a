// SPDX-License-Identifier: GPL-3.0-or-later
// A deterministic local descent for the break points: Nelder-Mead simplex searches restarted
// from their own end with a smaller simplex while that still lowers the value (a collapsed
// simplex otherwise stops short on a ridge).
#pragma once

#include "core/refine/optimum.h"

#include <atomic>
#include <functional>
#include <span>
#include <vector>

namespace tolvenar::refine {

// The value a descent lowers, at break points p; called thousands of times a descent, so it
// takes a view (no copy per call).
using Objective = std::function<double(std::span<const double>)>;

// The least value of `f` found from `start`, first simplex edges `step`, the last no shorter
// than `smallest`; ties are broken by vertex order so the walk is the same on every machine.
// Returns early, with the best so far, once `stop` is set.
Minimum descend(const Objective& f, std::vector<double> start, double step, double smallest,
                const std::atomic<bool>* stop = nullptr);

}  // namespace tolvenar::refine
