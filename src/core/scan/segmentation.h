// SPDX-License-Identifier: GPL-3.0-or-later
// The exact penalised segmentation of a series into continuous straight segments: knots at data
// points, the curve linear between them, the least sum of squared residuals over the noise
// variance plus a penalty per break. Dynamic programming over the last knot, with its cost kept
// as a function of the value there (a minimum of quadratics), pruned three ways, each exact:
// - by function: a way to reach a knot that is nowhere the cheapest is dropped;
// - by level: a knot's value in the best segmentation costs at most one penalty more than the
//   cheapest value there (else a break one point later would be cheaper), so only the stretch
//   of values within two penalties of the cheapest is kept, and a last knot costing more than
//   that everywhere is dropped;
// - by inequality: a last knot whose segment to the current point, less a penalty, costs more
//   than a break at the current point over that stretch can never beat such a break.
// The level bound needs a break possible at every point (min_size 1); with a larger min_size
// the whole range of values is kept, which is exact too but slower. Its cost is then linear in n
// while breaks keep coming at a steady rate. The knots' values are sought within the data's range
// widened on each side by its width and 4 noise standard deviations.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

namespace tolvenar::scan {

struct SegmentationSettings {
    double variance = 1.0;     // the noise variance, y units squared (> 0)
    double penalty = 0.0;      // cost of one break, in squared residuals over the variance (>= 0)
    std::size_t min_size = 1;  // least points a segment holds after its first knot (>= 1)
    const std::atomic<bool>* stop = nullptr;  // polled every few hundred points
};

struct Segmentation {
    std::vector<std::size_t> knots;  // point indices, the first 0 and the last n - 1
    std::vector<double> values;      // the fitted curve at each knot, y units
    double cost = 0.0;     // the squared residuals over the variance, plus the penalty per break
    std::size_t work = 0;  // last-knot candidates weighed, summed over the points
    bool stopped = false;  // set: stopped before the end, knots and values empty
};

// The least-cost continuous segmentation of (x, y): x strictly increasing, sizes equal, y finite
// (else std::invalid_argument). Fewer than min_size + 1 points: one segment, or the one point.
Segmentation segment(std::span<const double> x, std::span<const double> y,
                     const SegmentationSettings& settings);

}  // namespace tolvenar::scan
