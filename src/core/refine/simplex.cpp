// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/simplex.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvenar::refine {

namespace {

// Nelder-Mead simplex from `start` with initial steps `step`, until the simplex's values agree
// to a relative 1e-12 or `budget` evaluations are spent.
Minimum nelder_mead(const std::function<double(const std::vector<double>&)>& f,
                    const std::vector<double>& start, double step, int budget)
{
    const std::size_t d = start.size();
    std::vector<std::vector<double>> pts(d + 1, start);
    std::vector<double> val(d + 1);
    for (std::size_t i = 0; i < d; ++i)
        pts[i + 1][i] += step;
    for (std::size_t i = 0; i <= d; ++i)
        val[i] = f(pts[i]);
    int evaluations = static_cast<int>(d) + 1;
    std::vector<std::size_t> order(d + 1);
    const auto along = [&](const std::vector<double>& c, const std::vector<double>& w, double t) {
        std::vector<double> p(d);
        for (std::size_t i = 0; i < d; ++i)
            p[i] = c[i] + t * (w[i] - c[i]);
        return p;
    };
    while (evaluations < budget) {
        for (std::size_t i = 0; i <= d; ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return val[a] < val[b]; });
        const std::size_t best = order.front(), worst = order.back(), second = order[d - 1];
        if (std::isfinite(val[worst]) &&
            val[worst] - val[best] <= 1e-12 * std::abs(val[best]) + 1e-300)
            break;
        std::vector<double> centre(d, 0.0);
        for (std::size_t i = 0; i <= d; ++i)
            if (i != worst)
                for (std::size_t j = 0; j < d; ++j)
                    centre[j] += pts[i][j] / static_cast<double>(d);
        const auto reflected = along(centre, pts[worst], -1.0);
        const double fr = f(reflected);
        ++evaluations;
        if (fr < val[best]) {
            const auto expanded = along(centre, pts[worst], -2.0);
            const double fe = f(expanded);
            ++evaluations;
            if (fe < fr) {
                pts[worst] = expanded;
                val[worst] = fe;
            } else {
                pts[worst] = reflected;
                val[worst] = fr;
            }
            continue;
        }
        if (fr < val[second]) {
            pts[worst] = reflected;
            val[worst] = fr;
            continue;
        }
        const bool outside = fr < val[worst];
        const auto contracted = along(centre, pts[worst], outside ? -0.5 : 0.5);
        const double fc = f(contracted);
        ++evaluations;
        if (fc < (outside ? fr : val[worst])) {
            pts[worst] = contracted;
            val[worst] = fc;
            continue;
        }
        for (std::size_t i = 0; i <= d; ++i) {
            if (i == best)
                continue;
            pts[i] = along(pts[best], pts[i], 0.5);
            val[i] = f(pts[i]);
            ++evaluations;
        }
    }
    const auto it = std::min_element(val.begin(), val.end());
    return {pts[static_cast<std::size_t>(it - val.begin())], *it};
}

}  // namespace

Minimum descend(const std::function<double(const std::vector<double>&)>& f,
                std::vector<double> start, double step, double smallest,
                const std::atomic<bool>* stop)
{
    Minimum best{start, f(start)};
    if (start.empty())
        return best;
    for (int round = 0; round < 8 && step > smallest; ++round) {
        if (stop && stop->load(std::memory_order_relaxed))
            break;
        const Minimum next = nelder_mead(f, best.moved, step, 400 * static_cast<int>(start.size()));
        const bool better = next.sq_dist < best.sq_dist * (1.0 - 1e-12);
        if (next.sq_dist < best.sq_dist)
            best = next;
        step *= better ? 0.5 : 0.1;
    }
    return best;
}

}  // namespace tolvenar::refine
