// SPDX-License-Identifier: GPL-3.0-or-later
// The lower envelope of quadratics in one variable: which quadratic is least on each interval of
// the real line. The segmentation keeps its cost of the value at the last knot as such a minimum.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace tolvenar::scan {

// a v^2 + b v + c
struct Quadratic {
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;

    double at(double v) const { return (a * v + b) * v + c; }
    // Its least value and where; a > 0 only.
    double vertex() const { return -b / (2.0 * a); }
    double least() const { return c - b * b / (4.0 * a); }
};

// Quadratic `index` is the least on [from, to] (from may be -inf, to +inf).
struct Piece {
    double from = 0.0;
    double to = 0.0;
    std::size_t index = 0;
};

// The lower envelope of `q` (every a >= 0, at least one quadratic), its pieces in increasing v,
// written to `pieces` (cleared first). A quadratic that equals another everywhere, or rises above
// the envelope only by rounding, may be left out. O(size x pieces).
void lower_envelope(std::span<const Quadratic> q, std::vector<Piece>& pieces);

// The least of q - envelope over v, the envelope given by its pieces over `envelope`: how far q
// stays above it everywhere (negative where it dips below). Stops early, returning a value below
// `enough`, once the answer is known to be below it.
double least_gap(const Quadratic& q, std::span<const Quadratic> envelope,
                 std::span<const Piece> pieces, double enough);

}  // namespace tolvenar::scan
