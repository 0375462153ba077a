// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic local descents for the break points: Nelder-Mead simplex searches restarted
// from their own end with a smaller simplex while that still lowers the value (a collapsed
// simplex otherwise stops short on a ridge), and Newton steps within a box where the value is
// smooth.
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

// The least value of `f` over the unit box [0, 1]^d (d at most 4) from `start`, for f smooth
// within it: each step goes to the box's own minimum of a quadratic fitted by central
// differences around the point (their stencil kept inside the box), halved while it does not
// lower f. `converged` is false when the steps stalled while still long, as at a kink.
struct BoxMinimum {
    Minimum at;
    bool converged = false;
};
BoxMinimum newton_in_box(const Objective& f, std::vector<double> start,
                         const std::atomic<bool>* stop = nullptr);

}  // namespace tolvenar::refine
