// SPDX-License-Identifier: GPL-3.0-or-later
// The levels of a piecewise-linear model whose break points are fixed: a linear least-squares
// problem, solved by Householder QR in double so that nearly collinear levels (a short segment)
// keep their digits, with optional bounds on each level (the boxes of a constrained search).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tolvenar::refine {

struct LevelFit {
    std::vector<double> levels;
    double sq_dist = 0.0;  // sum of squared residuals, double
};

// Least squares of `observed` on the columns of `design` (column-major, observed.size() rows,
// `columns` columns), level j within [lower[j], upper[j]] (infinities: unbounded). nullopt when
// the columns are dependent (a level no point sees) or a bounded problem has no finite answer.
std::optional<LevelFit> solve_levels(std::span<const double> design, std::size_t columns,
                                     std::span<const double> observed,
                                     std::span<const double> lower,
                                     std::span<const double> upper);

}  // namespace tolvenar::refine
