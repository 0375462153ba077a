// SPDX-License-Identifier: GPL-3.0-or-later
// The exact penalised segmentation of a series into continuous straight segments: knots at data
// points, the curve linear between them, least squares under AR(1) noise plus a penalty per
// break. Dynamic programming over the last knot with its cost kept as a function of the value
// there (a minimum of quadratics), pruned by function (a quadratic nowhere least is dropped) and
// by inequality (a last knot that can no longer beat a break at the current point is dropped):
// exact, and linear in n while breaks keep coming at a steady rate.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

namespace tolvenar::scan {

struct SegmentationSettings {
    double variance = 1.0;  // the noise's marginal variance, y units squared (> 0)
    // The noise's persistence time in x units: between points dx apart its AR(1) coefficient is
    // exp(-dx / tau). 0: independent errors.
    double tau = 0.0;
    double penalty = 0.0;      // cost of one break, in whitened squared residuals (>= 0)
    std::size_t min_size = 1;  // least points a segment holds after its first knot (>= 1)
    const std::atomic<bool>* stop = nullptr;  // polled every few hundred points
};

struct Segmentation {
    std::vector<std::size_t> knots;  // point indices, the first 0 and the last n - 1
    std::vector<double> values;      // the fitted curve at each knot, y units
    // The whitened sum of squares (the exact AR(1) -2 log-likelihood less its constant, the
    // first point at the marginal variance) plus the penalty for each break.
    double cost = 0.0;
    std::size_t work = 0;  // last-knot candidates weighed, summed over the points
    bool stopped = false;  // set: stopped before the end, knots and values empty
};

// The least-cost continuous segmentation of (x, y): x strictly increasing, sizes equal, y finite
// (else std::invalid_argument). Fewer than min_size + 1 points: one segment, or the one point.
Segmentation segment(std::span<const double> x, std::span<const double> y,
                     const SegmentationSettings& settings);

// The fitted curve of `s` at each x (linear between its knots).
std::vector<double> segmentation_curve(std::span<const double> x, const Segmentation& s);

}  // namespace tolvenar::scan
