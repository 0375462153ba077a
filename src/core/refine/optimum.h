// SPDX-License-Identifier: GPL-3.0-or-later
// The global least-squares optimum of a family over its moved break points: the levels solved
// exactly for each choice of break points from running sums (a constant-size solve each), every
// choice of data intervals tried for up to two moved break points, a grid refined coarse to fine
// for more or for long series, then the best cells descended to their exact optimum. Plain
// values in and out; the same result on every thread count.
#pragma once

#include "core/model/family.h"

#include <atomic>
#include <cstddef>
#include <span>
#include <vector>

namespace tolvenar::refine {

struct OptimumProblem {
    std::span<const double> t;  // ascending, e.g. x - CropOrigin
    std::span<const double> y;
    std::span<const double> w;  // weight per point (1 / sigma^2); empty: every point 1
    FamilyShape shape;
    double left = 0.0;   // x1, the crop's left edge
    double right = 0.0;  // the family's last vertex, the crop's right edge
    std::vector<double> lower, upper;              // per moved break point, within left..right
    std::vector<double> level_lower, level_upper;  // per level; infinities: unbounded
    std::vector<std::vector<double>> starts;       // moved break points also descended from
    bool local = false;  // only descents from the best few starts: an optimum near them
    unsigned threads = 1;                          // 0: every core; the result is the same
    const std::atomic<bool>* stop = nullptr;       // set: the best found so far comes back
    // Scales the candidates of the first pass (every data interval or the coarse grid); below 1
    // a coarser first pass, refined coarse to fine as usual. 1: the documented search.
    double first_pass = 1.0;
    std::size_t basins = 0;  // separated basins refined coarse to fine; 0: the documented 8
    // Three or four break points: the grid at once, without first trying boxes of tuples (a
    // replicate of a series whose boxes gave way, whose own would too, all but always).
    bool grid_first = false;
    // The first pass's best tuple alone (every data interval's corners, or the coarse grid's),
    // neither refined nor descended: a profile over the other break points' positions, cheap
    // enough to tell at every data point.
    bool corners = false;
};

struct Minimum {
    std::vector<double> moved;  // break points in t, in the order of shape.moved
    double sq_dist = 0.0;       // profiled weighted sum of squares at them (running sums)
};

// How a family's optimum was reached: every data interval (or pair of them) tried, or a grid
// of `grid` positions a break point refined coarse to fine.
struct OptimumResult {
    std::vector<Minimum> minima;  // the best first, then the other basins' ends and the starts'
    bool exhaustive = false;      // every (pair of) data interval(s) was tried at its corners
    bool gave_way = false;        // boxes of tuples narrowed too little: a grid instead
    std::size_t grid = 0;         // positions per break point of the first pass
    double corner = 0.0;          // the least sum of squares over the first pass's tuples
    bool stopped = false;         // `stop` was set: the minima are the best found until then
};

// The optimum of `problem`; no minima when no break points give a model (boxes that leave no
// room, a level no point sees everywhere).
OptimumResult global_optimum(const OptimumProblem& problem);

// The profiled sum of squares at break points `moved` (exact levels from running sums,
// bounded); infinity for a model Fitting refuses or a level no point sees.
double profiled_sq_dist(const OptimumProblem& problem, const std::vector<double>& moved);

// The levels (one per shape level, in y units) behind profiled_sq_dist at `moved`; empty where
// that is infinite.
std::vector<double> profiled_levels(const OptimumProblem& problem, const std::vector<double>& moved);

}  // namespace tolvenar::refine
