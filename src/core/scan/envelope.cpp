// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace tolvenar::scan {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

Quadratic minus(const Quadratic& p, const Quadratic& q) { return {p.a - q.a, p.b - q.b, p.c - q.c}; }

// The first v in (from, to] where d = q_i - q_j, not negative just right of `from`, turns
// negative; +inf when it does not. Most quadratics stay above the current one up to `to`, which
// two values and the vertex tell without a square root.
double first_dip(const Quadratic& d, double from, double to)
{
    // Division-free: the vertex -b / 2a inside (from, to) and its value c - b^2 / 4a negative.
    const double twice_a = 2.0 * d.a;
    if (d.at(to) >= 0.0 && (d.a <= 0.0 || !(twice_a * from < -d.b && -d.b < twice_a * to) ||
                            2.0 * twice_a * d.c >= d.b * d.b))
        return kInfinity;
    if (d.a == 0.0) {
        if (!(d.b < 0.0))
            return kInfinity;
        const double root = -d.c / d.b;
        return root > from ? root : kInfinity;
    }
    const double discriminant = d.b * d.b - 4.0 * d.a * d.c;
    if (!(discriminant > 0.0))
        return kInfinity;
    // The roots without cancellation: q / a and c / q.
    const double h = -0.5 * (d.b + std::copysign(std::sqrt(discriminant), d.b));
    double low = h / d.a, high = d.c / h;
    if (low > high)
        std::swap(low, high);
    // a > 0: negative between the roots; a < 0: negative beyond the higher one.
    if (d.a > 0.0 && low > from)
        return low;
    if (d.a < 0.0 && high > from)
        return high;
    return kInfinity;
}

// Whether p is below q just right of v (p(v) = q(v)): by slope, then by curvature.
bool lower_after(const Quadratic& p, const Quadratic& q, double v)
{
    const double slope_p = 2.0 * p.a * v + p.b, slope_q = 2.0 * q.a * v + q.b;
    if (slope_p != slope_q)
        return slope_p < slope_q;
    return p.a < q.a;
}

}  // namespace

void lower_envelope(std::span<const Quadratic> q, double low, double high,
                    std::vector<Piece>& pieces)
{
    pieces.clear();
    // The least at `low`, ties to the one lower just right of it.
    std::size_t j = 0;
    for (std::size_t i = 1; i < q.size(); ++i) {
        const double vi = q[i].at(low), vj = q[j].at(low);
        if (vi < vj || (vi == vj && lower_after(q[i], q[j], low)))
            j = i;
    }
    double from = low;
    // Two quadratics cross at most twice, so the pieces are fewer than 2 size + 1; the bound only
    // guards against rounding making two near-equal quadratics take turns forever.
    for (std::size_t guard = 0; guard <= 2 * q.size(); ++guard) {
        double to = high;
        std::size_t next = j;
        for (std::size_t i = 0; i < q.size(); ++i) {
            if (i == j)
                continue;
            const double v = first_dip(minus(q[i], q[j]), from, to);
            if (v < to || (v == to && next != j && lower_after(q[i], q[next], v))) {
                to = v;
                next = i;
            }
        }
        pieces.push_back({from, to, j});
        if (next == j)
            return;
        from = to;
        j = next;
    }
}

double least_gap(const Quadratic& q, std::span<const Quadratic> envelope,
                 std::span<const Piece> pieces, double from, double to, double enough)
{
    double least = kInfinity;
    for (const Piece& piece : pieces) {
        const double left = std::max(piece.from, from), right = std::min(piece.to, to);
        if (left > right)
            continue;
        const Quadratic d = minus(q, envelope[piece.index]);
        // Convex: least at its vertex or an end; else at an end.
        if (d.a > 0.0)
            least = std::min(least, d.at(least_at(d, left, right)));
        least = std::min({least, d.at(left), d.at(right)});
        if (least < enough)
            return least;
    }
    return least;
}

}  // namespace tolvenar::scan
