// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/simplex.h"

#include <algorithm>
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

}  // namespace

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
