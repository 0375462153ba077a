// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/segmentation.h"

#include "core/scan/envelope.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace tolvenar::scan {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kStopPoll = 512;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The knots' values are sought within the data's range widened by this many times its width and
// kDomainSd noise standard deviations on each side.
constexpr double kDomainWidths = 1.0;
constexpr double kDomainSd = 4.0;

// A last knot s and the sums over the points after it up to the current one, in x relative to
// x_s (g) and y standardised (z): count, g, g^2, z, z g, z^2.
struct Start {
    std::size_t index = 0;
    double n = 0.0, g = 0.0, gg = 0.0, z = 0.0, zg = 0.0, zz = 0.0;
};

// A way to reach a knot: the cost of everything up to it as a function of the value there.
struct Candidate {
    Quadratic cost;
    std::uint32_t start = 0;            // its knot, in the list of starts
    std::uint32_t node = 0;             // its path, in the list of nodes
    std::size_t drop_after = SIZE_MAX;  // pruned: the last point it is still needed at
};

// A knot on some kept path: its point, the knot before it, and that knot's best value as a
// linear function of this one's.
struct Node {
    std::uint32_t point = 0;
    std::uint32_t parent = kNone;
    double slope = 0.0, offset = 0.0;
};

// A candidate's path extended by one straight segment to point t: its cost as a function of the
// value at t, a break's penalty there included, and the value at the candidate's knot that
// achieves it as a linear function of the value at t.
struct Extension {
    Quadratic cost;
    double slope = 0.0, offset = 0.0;
};

Extension extend(const Candidate& c, const Start& s, double length, double penalty)
{
    // The segment's curve is v_1 (1 - u_i) + v_2 u_i, u_i = g_i / L, for the values v_1 at its
    // first knot and v_2 at t. Sums of the products of 1 - u, u and z:
    const double u = 1.0 / length;
    const double aa = s.n - 2.0 * u * s.g + u * u * s.gg;
    const double ag = u * s.g - u * u * s.gg;
    const double gg = u * u * s.gg;
    const double za = s.z - u * s.zg;
    const double zg = u * s.zg;
    // Minimise cost(v_1) + sum (z - v_1 (1 - u) - v_2 u)^2 over v_1.
    const double d = c.cost.a + aa;
    const double e = c.cost.b - 2.0 * za;
    Extension x;
    x.cost.a = gg - ag * ag / d;
    if (!(x.cost.a > 0.0))  // rounding, when the value at t is fixed by the point t alone
        x.cost.a = std::numeric_limits<double>::min();
    x.cost.b = -2.0 * zg - e * ag / d;
    x.cost.c = penalty + c.cost.c + s.zz - e * e / (4.0 * d);
    x.slope = -ag / d;
    x.offset = -e / (2.0 * d);
    return x;
}

// Where q <= level within [low, high]: {from, to}, from > to when nowhere.
std::pair<double, double> below(const Quadratic& q, double level, double low, double high)
{
    const double room = level - q.least();
    if (room < 0.0)
        return {kInfinity, -kInfinity};
    const double half = std::sqrt(room / q.a), v = q.vertex();
    return {std::max(low, v - half), std::min(high, v + half)};
}

void check(std::span<const double> x, std::span<const double> y, const SegmentationSettings& s)
{
    if (y.size() != x.size())
        throw std::invalid_argument("segment: x and y of one size");
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            throw std::invalid_argument("segment: finite values only");
        if (i > 0 && !(x[i] > x[i - 1]))
            throw std::invalid_argument("segment: x strictly increasing");
    }
    if (!(s.variance > 0.0) || !(s.penalty >= 0.0) || s.min_size < 1)
        throw std::invalid_argument("segment: variance > 0, penalty >= 0, min_size >= 1");
}

}  // namespace

Segmentation segment(std::span<const double> x, std::span<const double> y,
                     const SegmentationSettings& settings)
{
    check(x, y, settings);
    const std::size_t n = x.size();
    Segmentation result;
    if (n <= 1) {
        result.knots.assign(n, 0);
        result.values.assign(y.begin(), y.end());
        return result;
    }

    const std::size_t min_size = std::min(settings.min_size, n - 1);
    const bool level_bound = min_size == 1;
    const double penalty = settings.penalty;
    const double sd = std::sqrt(settings.variance);
    auto z_of = [&](std::size_t i) { return (y[i] - y[0]) / sd; };
    const auto [y_low, y_high] = std::minmax_element(y.begin(), y.end());
    const double width = (*y_high - *y_low) / sd;
    const double low = (*y_low - y[0]) / sd - kDomainWidths * width - kDomainSd;
    const double high = (*y_high - y[0]) / sd + kDomainWidths * width + kDomainSd;

    // The first point alone costs (z_0 - v)^2, z_0 = 0.
    std::vector<Node> nodes{{0, kNone, 0.0, 0.0}};
    std::vector<Start> starts{{0}};
    std::vector<Candidate> candidates{{{1.0, 0.0, 0.0}, 0, 0}};

    std::vector<Extension> extensions;
    std::vector<double> cheapest;              // each extension's least cost on [low, high]
    std::vector<Quadratic> kept_costs;         // the extensions the envelope is made of
    std::vector<std::uint32_t> kept_of;        // candidate of each
    std::vector<Piece> pieces;
    std::vector<std::uint32_t> born_from;
    std::vector<Candidate> born, kept;
    std::vector<Start> kept_starts;

    for (std::size_t t = 1; t < n; ++t) {
        if (settings.stop && t % kStopPoll == 0 && settings.stop->load(std::memory_order_relaxed)) {
            result.stopped = true;
            return result;
        }
        const double z = z_of(t);
        for (Start& s : starts) {
            const double g = x[t] - x[s.index];
            s.n += 1.0;
            s.g += g;
            s.gg += g * g;
            s.z += z;
            s.zg += z * g;
            s.zz += z * z;
        }

        extensions.resize(candidates.size());
        cheapest.resize(candidates.size());
        double best = kInfinity;
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            const Start& s = starts[candidates[k].start];
            extensions[k] = extend(candidates[k], s, x[t] - x[s.index], penalty);
            const Quadratic& q = extensions[k].cost;
            cheapest[k] = q.at(least_at(q, low, high));
            if (t - s.index >= min_size)
                best = std::min(best, cheapest[k]);
        }
        result.work += candidates.size();

        if (t == n - 1) {
            // The end is no break: the cheapest path, less one penalty, traced back.
            std::size_t k = 0;
            while (!(cheapest[k] == best && t - starts[candidates[k].start].index >= min_size))
                ++k;
            double v = least_at(extensions[k].cost, low, high);
            result.cost = best - penalty;
            std::vector<std::size_t> knots{n - 1};
            std::vector<double> values{v};
            v = extensions[k].slope * v + extensions[k].offset;
            for (std::uint32_t node = candidates[k].node; node != kNone;) {
                knots.push_back(nodes[node].point);
                values.push_back(v);
                v = nodes[node].slope * v + nodes[node].offset;
                node = nodes[node].parent;
            }
            result.knots.assign(knots.rbegin(), knots.rend());
            for (auto value = values.rbegin(); value != values.rend(); ++value)
                result.values.push_back(*value * sd + y[0]);
            return result;
        }
        if (best == kInfinity)  // no segment long enough yet
            continue;

        // The cost at t is the envelope of the eligible extensions; with the level bound only
        // its stretch within two penalties of the cheapest matters, made of the extensions
        // that reach below that level.
        const double level = level_bound ? best + 2.0 * penalty : kInfinity;
        double from = level_bound ? high : low, to = level_bound ? low : high;
        kept_costs.clear();
        kept_of.clear();
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            if (t - starts[candidates[k].start].index < min_size || cheapest[k] > level)
                continue;
            kept_costs.push_back(extensions[k].cost);
            kept_of.push_back(static_cast<std::uint32_t>(k));
            if (level_bound) {
                // Its least lies below the level whatever rounding tells of the stretch
                // (at no penalty the stretch is that point alone).
                const auto [left, right] = below(extensions[k].cost, level, low, high);
                const double least = least_at(extensions[k].cost, low, high);
                from = std::min({from, left, least});
                to = std::max({to, right, least});
            }
        }
        lower_envelope(kept_costs, from, to, pieces);

        // Functional pruning: a knot at t is born of each extension least on some piece, where
        // (level bound) that piece comes within one penalty of the cheapest.
        born.clear();
        born_from.clear();
        for (const Piece& piece : pieces) {
            const Quadratic& q = kept_costs[piece.index];
            if (level_bound && q.at(least_at(q, piece.from, piece.to)) > best + penalty)
                continue;
            if (std::find(born_from.begin(), born_from.end(), piece.index) != born_from.end())
                continue;
            born_from.push_back(static_cast<std::uint32_t>(piece.index));
            const std::uint32_t k = kept_of[piece.index];
            nodes.push_back({static_cast<std::uint32_t>(t), candidates[k].node, extensions[k].slope,
                             extensions[k].offset});
            born.push_back({q, 0, static_cast<std::uint32_t>(nodes.size() - 1)});
        }

        // Level and inequality pruning: a last knot is dropped when its extension costs more
        // than the level everywhere, or, less a penalty, more than the cost at t wherever it is
        // below the level (everywhere, without the level bound).
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            Candidate& c = candidates[k];
            if (c.drop_after != SIZE_MAX || cheapest[k] - penalty < best)
                continue;
            const auto [left, right] = level_bound ? below(extensions[k].cost, level, low, high)
                                                   : std::pair{low, high};
            if (left > right ||
                least_gap(extensions[k].cost, kept_costs, pieces, left, right, penalty) >= penalty)
                c.drop_after = t + min_size - 1;  // a break at t needs min_size points after it
        }

        // Keep the candidates still needed after t, then the new ones; their starts with them.
        kept.clear();
        kept_starts.clear();
        std::uint32_t last_start = kNone;
        for (const Candidate& c : candidates) {
            if (c.drop_after <= t)
                continue;
            if (c.start != last_start) {
                kept_starts.push_back(starts[c.start]);
                last_start = c.start;
            }
            kept.push_back(c);
            kept.back().start = static_cast<std::uint32_t>(kept_starts.size() - 1);
        }
        kept_starts.push_back({t});
        for (Candidate& c : born) {
            c.start = static_cast<std::uint32_t>(kept_starts.size() - 1);
            kept.push_back(c);
        }
        candidates.swap(kept);
        starts.swap(kept_starts);
    }
    return result;  // not reached: n >= 2 returns at its last point
}

}  // namespace tolvenar::scan
