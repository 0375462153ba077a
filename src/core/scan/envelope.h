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

// Quadratic `index` is the least on [from, to].
struct Piece {
    double from = 0.0;
    double to = 0.0;
    std::size_t index = 0;
};

// The lower envelope of `q` (at least one quadratic) on [low, high] (finite, low < high), its
// pieces in increasing v, written to `pieces` (cleared first). A quadratic that equals another
// there, or dips below the envelope only by rounding, may be left out. O(size x pieces).
void lower_envelope(std::span<const Quadratic> q, double low, double high,
                    std::vector<Piece>& pieces);

// The least of q - envelope over [from, to] within the pieces' span, the envelope given by its
// pieces over `envelope`: how far q stays above it there (negative where it dips below); +inf
// where they do not meet. Stops early, returning a value below `enough`, once the answer is
// known to be below it.
double least_gap(const Quadratic& q, std::span<const Quadratic> envelope,
                 std::span<const Piece> pieces, double from, double to, double enough);

// Where q is least on [low, high].
inline double least_at(const Quadratic& q, double low, double high)
{
    const double v = q.vertex();
    return v < low ? low : v > high ? high : v;
}

}  // namespace tolvenar::scan
