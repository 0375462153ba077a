// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/simplex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tolvenar::refine {

namespace {

// Nelder-Mead simplex from `start` (where f is `first`) with initial steps `step`, until the
// simplex's values agree to a relative 1e-12 or `budget` evaluations are spent. The vertices
// and trial points live in buffers made once: a step allocates nothing.
Minimum nelder_mead(const Objective& f, const std::vector<double>& start, double first, double step,
                    int budget)
{
    const std::size_t d = start.size();
    std::vector<double> pts((d + 1) * d), centre(d), reflected(d), expanded(d), contracted(d);
    const auto vertex = [&](std::size_t i) { return std::span<double>(pts).subspan(i * d, d); };
    std::vector<double> val(d + 1);
    for (std::size_t i = 0; i <= d; ++i)
        std::copy(start.begin(), start.end(), vertex(i).begin());
    for (std::size_t i = 0; i < d; ++i)
        vertex(i + 1)[i] += step;
    val[0] = first;  // f(start): f is a function of its point alone
    for (std::size_t i = 1; i <= d; ++i)
        val[i] = f(vertex(i));
    int evaluations = static_cast<int>(d) + 1;
    std::vector<std::size_t> order(d + 1);
    // out = c + t (w - c); out may be w itself.
    const auto along = [&](std::span<const double> c, std::span<const double> w, double t,
                           std::span<double> out) {
        for (std::size_t i = 0; i < d; ++i)
            out[i] = c[i] + t * (w[i] - c[i]);
    };
    const auto replace = [&](std::size_t i, std::span<const double> p, double v) {
        std::copy(p.begin(), p.end(), vertex(i).begin());
        val[i] = v;
    };
    while (evaluations < budget) {
        // Vertices by value, ties in vertex order (a stable insertion sort of a few).
        for (std::size_t i = 0; i <= d; ++i) {
            std::size_t j = i;
            for (; j > 0 && val[i] < val[order[j - 1]]; --j)
                order[j] = order[j - 1];
            order[j] = i;
        }
        const std::size_t best = order.front(), worst = order.back(), second = order[d - 1];
        if (std::isfinite(val[worst]) &&
            val[worst] - val[best] <= 1e-12 * std::abs(val[best]) + 1e-300)
            break;
        std::fill(centre.begin(), centre.end(), 0.0);
        for (std::size_t i = 0; i <= d; ++i)
            if (i != worst)
                for (std::size_t j = 0; j < d; ++j)
                    centre[j] += pts[i * d + j] / static_cast<double>(d);
        along(centre, vertex(worst), -1.0, reflected);
        const double fr = f(reflected);
        ++evaluations;
        if (fr < val[best]) {
            along(centre, vertex(worst), -2.0, expanded);
            const double fe = f(expanded);
            ++evaluations;
            if (fe < fr)
                replace(worst, expanded, fe);
            else
                replace(worst, reflected, fr);
            continue;
        }
        if (fr < val[second]) {
            replace(worst, reflected, fr);
            continue;
        }
        const bool outside = fr < val[worst];
        along(centre, vertex(worst), outside ? -0.5 : 0.5, contracted);
        const double fc = f(contracted);
        ++evaluations;
        if (fc < (outside ? fr : val[worst])) {
            replace(worst, contracted, fc);
            continue;
        }
        for (std::size_t i = 0; i <= d; ++i) {
            if (i == best)
                continue;
            along(vertex(best), vertex(i), 0.5, vertex(i));
            val[i] = f(vertex(i));
            ++evaluations;
        }
    }
    const auto it = std::min_element(val.begin(), val.end());
    const auto lowest = vertex(static_cast<std::size_t>(it - val.begin()));
    return {std::vector<double>(lowest.begin(), lowest.end()), *it};
}

constexpr int kBoxMaxD = 4;
using BoxPoint = std::array<double, kBoxMaxD>;

// The least of m(s) = g'(s - c) + (s - c)'H(s - c) / 2 over the unit box: each coordinate free,
// at 0 or at 1 (3^d faces), the free ones at the face's stationary point where H is positive
// definite on them. H is d x d by rows.
BoxPoint box_quadratic_minimum(int d, const BoxPoint& c, const BoxPoint& g,
                               const std::array<double, kBoxMaxD * kBoxMaxD>& h)
{
    const auto model = [&](const BoxPoint& s) {
        double m = 0.0;
        for (int i = 0; i < d; ++i) {
            const double di = s[i] - c[i];
            m += g[i] * di;
            for (int j = 0; j < d; ++j)
                m += 0.5 * di * h[i * kBoxMaxD + j] * (s[j] - c[j]);
        }
        return m;
    };
    int faces = 1;
    for (int i = 0; i < d; ++i)
        faces *= 3;
    BoxPoint best{};
    double lowest = std::numeric_limits<double>::infinity();
    for (int face = 0; face < faces; ++face) {
        BoxPoint s = c, held{};  // held: s - c of the coordinates at a side, 0 for free ones
        std::array<int, kBoxMaxD> free{};
        int q = 0;
        for (int i = 0, code = face; i < d; ++i, code /= 3) {
            if (code % 3 == 0) {
                free[q++] = i;
                continue;
            }
            s[i] = code % 3 == 1 ? 0.0 : 1.0;
            held[i] = s[i] - c[i];
        }
        // H_ff (s_f - c_f) = -(g_f + H_fh held) by elimination; every pivot positive.
        std::array<double, kBoxMaxD * (kBoxMaxD + 1)> a{};
        for (int r = 0; r < q; ++r) {
            double rhs = -g[free[r]];
            for (int j = 0; j < d; ++j)
                rhs -= h[free[r] * kBoxMaxD + j] * held[j];
            for (int k = 0; k < q; ++k)
                a[r * (kBoxMaxD + 1) + k] = h[free[r] * kBoxMaxD + free[k]];
            a[r * (kBoxMaxD + 1) + kBoxMaxD] = rhs;
        }
        bool definite = true;
        for (int k = 0; k < q && definite; ++k) {
            const double pivot = a[k * (kBoxMaxD + 1) + k];
            definite = pivot > 0.0;
            for (int r = k + 1; r < q && definite; ++r) {
                const double m = a[r * (kBoxMaxD + 1) + k] / pivot;
                for (int j = k; j < q; ++j)
                    a[r * (kBoxMaxD + 1) + j] -= m * a[k * (kBoxMaxD + 1) + j];
                a[r * (kBoxMaxD + 1) + kBoxMaxD] -= m * a[k * (kBoxMaxD + 1) + kBoxMaxD];
            }
        }
        if (!definite)
            continue;
        bool inside = true;
        for (int r = q; r-- > 0;) {
            double v = a[r * (kBoxMaxD + 1) + kBoxMaxD];
            for (int k = r + 1; k < q; ++k)
                v -= a[r * (kBoxMaxD + 1) + k] * (s[free[k]] - c[free[k]]);
            s[free[r]] = c[free[r]] + v / a[r * (kBoxMaxD + 1) + r];
            inside = inside && s[free[r]] >= 0.0 && s[free[r]] <= 1.0;
        }
        if (!inside)
            continue;
        const double m = model(s);
        if (m < lowest)
            lowest = m, best = s;
    }
    return best;
}

}  // namespace

BoxMinimum newton_in_box(const Objective& f, std::vector<double> start, const std::atomic<bool>* stop)
{
    const int d = static_cast<int>(start.size());
    for (double& v : start)
        v = std::clamp(v, 0.0, 1.0);
    BoxMinimum out{{start, f(start)}, false};
    if (d == 0 || d > kBoxMaxD) {
        out.converged = d == 0;
        return out;
    }
    // Stencil spacing: the value's rounding over h^2 stays far below the curvature across a
    // box, and the quadratic's own error over h stays small.
    constexpr double h = 1e-3;
    std::vector<double> p(start.size());
    const auto at = [&](const BoxPoint& c, int i, double di, int j, double dj) {
        for (int k = 0; k < d; ++k)
            p[static_cast<std::size_t>(k)] = c[k];
        if (i >= 0)
            p[static_cast<std::size_t>(i)] += di;
        if (j >= 0)
            p[static_cast<std::size_t>(j)] += dj;
        return f(p);
    };
    BoxPoint x{};
    std::copy(start.begin(), start.end(), x.begin());
    for (int iteration = 0; iteration < 40; ++iteration) {
        if (stop && stop->load(std::memory_order_relaxed))
            return out;
        BoxPoint c{}, g{};
        std::array<double, kBoxMaxD * kBoxMaxD> hess{};
        for (int i = 0; i < d; ++i)
            c[i] = std::clamp(x[i], h, 1.0 - h);
        const double f0 = c == x ? out.at.sq_dist : at(c, -1, 0, -1, 0);
        bool finite = std::isfinite(f0);
        // Central first and second differences; the cross terms one-sided (one value each, a
        // first-order error that only slows the last steps a little).
        BoxPoint up{};
        for (int i = 0; i < d; ++i) {
            up[i] = at(c, i, h, -1, 0);
            const double down = at(c, i, -h, -1, 0);
            g[i] = (up[i] - down) / (2.0 * h);
            hess[i * kBoxMaxD + i] = (up[i] - 2.0 * f0 + down) / (h * h);
            finite = finite && std::isfinite(up[i]) && std::isfinite(down);
            for (int j = 0; j < i; ++j) {
                const double v = (at(c, i, h, j, h) - up[i] - up[j] + f0) / (h * h);
                hess[i * kBoxMaxD + j] = hess[j * kBoxMaxD + i] = v;
                finite = finite && std::isfinite(v);
            }
        }
        if (!finite)
            return out;
        // A little damping keeps a flat floor's step short (the least move onto the floor, not
        // to a side of the box); at a minimum the step is still zero.
        double largest = 0.0;
        for (int i = 0; i < d; ++i)
            largest = std::max(largest, std::abs(hess[i * kBoxMaxD + i]));
        auto damped = hess;
        for (int i = 0; i < d; ++i)
            damped[i * kBoxMaxD + i] += 1e-6 * largest;
        const BoxPoint target = box_quadratic_minimum(d, c, g, damped);
        double length = 0.0, gain = 0.0;  // the step's length, and the quadratic's fall along it
        for (int i = 0; i < d; ++i) {
            length = std::max(length, std::abs(target[i] - x[i]));
            gain -= g[i] * (target[i] - x[i]);
            for (int j = 0; j < d; ++j)
                gain -= 0.5 * hess[i * kBoxMaxD + j] *
                        ((target[i] - c[i]) * (target[j] - c[j]) - (x[i] - c[i]) * (x[j] - c[j]));
        }
        bool lowered = false;
        for (double t = 1.0; t > 1.0 / 64.0 && !lowered; t *= 0.5) {
            BoxPoint y{};
            for (int i = 0; i < d; ++i)
                y[i] = x[i] + t * (target[i] - x[i]);
            const double fy = at(y, -1, 0, -1, 0);
            if (fy < out.at.sq_dist) {
                lowered = true;
                x = y;
                out.at.sq_dist = fy;
                out.at.moved.assign(y.begin(), y.begin() + d);
                length *= t;
            }
        }
        // Short steps, or a fall far below the value's digits: at the minimum (or on a flat
        // floor, where break points no longer change the fit).
        if (length < 1e-7 || gain <= 1e-12 * std::abs(out.at.sq_dist)) {
            out.converged = true;
            return out;
        }
        if (!lowered)
            return out;
    }
    return out;
}

Minimum descend(const Objective& f, std::vector<double> start, double step, double smallest,
                const std::atomic<bool>* stop)
{
    const double first = f(start);
    Minimum best{std::move(start), first};
    if (best.moved.empty())
        return best;
    const int budget = 400 * static_cast<int>(best.moved.size());
    for (int round = 0; round < 8 && step > smallest; ++round) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        const Minimum next = nelder_mead(f, best.moved, best.sq_dist, step, budget);
        const bool better = next.sq_dist < best.sq_dist * (1.0 - 1e-12);
        if (next.sq_dist < best.sq_dist)
            best = next;
        step *= better ? 0.5 : 0.1;
    }
    return best;
}

}  // namespace tolvenar::refine
