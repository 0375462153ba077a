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

// The series whitened by its AR(1): at point i > 0 the innovation y_i - a_i y_{i-1} of variance
// variance (1 - a_i^2), weighted by its inverse. y is standardised (y - y_0) / sd so that the
// sums stay near unity.
struct Whitened {
    std::vector<double> a, w, p, z;  // a_i, weight, 1 - a_i, innovation of y; index 0 unused
    double w0 = 1.0;                 // weight of the first point (marginal variance)
};

Whitened whiten(std::span<const double> x, std::span<const double> y, const SegmentationSettings& s)
{
    const std::size_t n = x.size();
    const double sd = std::sqrt(s.variance);
    Whitened h{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
               std::vector<double>(n), 1.0};
    for (std::size_t i = 1; i < n; ++i) {
        const double a = s.tau > 0.0 ? std::exp(-(x[i] - x[i - 1]) / s.tau) : 0.0;
        h.a[i] = a;
        h.w[i] = 1.0 / ((1.0 - a) * (1.0 + a));
        h.p[i] = 1.0 - a;
        h.z[i] = ((y[i] - y[0]) - a * (y[i - 1] - y[0])) / sd;
    }
    return h;
}

// A last knot s and the weighted sums over the points after it up to the current one, in x
// relative to x_s, of the innovations' two basis terms: p_i (a level) and
// g_i = (x_i - x_s) - a_i (x_{i-1} - x_s) (a slope), and of the innovation z_i.
struct Start {
    std::size_t index = 0;
    double pp = 0.0, pg = 0.0, gg = 0.0, zp = 0.0, zg = 0.0, zz = 0.0;
};

// A way to reach a knot: the cost of everything before it as a function of the value at it.
struct Candidate {
    Quadratic cost;
    std::uint32_t start = 0;        // its knot, in the list of starts
    std::uint32_t node = 0;         // its path, in the list of nodes
    std::size_t drop_after = SIZE_MAX;  // pruned: last point it is still needed at
};

// A knot on some kept path: its point, the knot before it, and that knot's best value as a
// linear function of this one's.
struct Node {
    std::uint32_t point = 0;
    std::uint32_t parent = kNone;
    double slope = 0.0, offset = 0.0;
};

// The cost of a candidate's path extended by one straight segment to point t, as a function of
// the value at t, with the penalty of a break there; and the value at the candidate's knot that
// achieves it, as a linear function of the value at t.
struct Extension {
    Quadratic cost;
    double slope = 0.0, offset = 0.0;
};

Extension extend(const Candidate& c, const Start& s, double length, double penalty)
{
    // The segment's innovations are v_1 alpha_i + v_2 gamma_i for the values v_1 at its first
    // knot and v_2 at point t: alpha_i = p_i - g_i / L, gamma_i = g_i / L.
    const double u = 1.0 / length;
    const double aa = s.pp - 2.0 * u * s.pg + u * u * s.gg;
    const double ag = u * s.pg - u * u * s.gg;
    const double gg = u * u * s.gg;
    const double za = s.zp - u * s.zg;
    const double zg = u * s.zg;
    // Minimise cost(v_1) + sum w (z - v_1 alpha - v_2 gamma)^2 over v_1.
    const double d = c.cost.a + aa;
    const double e = c.cost.b - 2.0 * za;
    Extension x;
    x.cost.a = gg - ag * ag / d;
    if (!(x.cost.a > 0.0))  // rounding of a value determined only by the point t itself
        x.cost.a = std::numeric_limits<double>::min();
    x.cost.b = -2.0 * zg - e * ag / d;
    x.cost.c = penalty + c.cost.c + s.zz - e * e / (4.0 * d);
    x.slope = -ag / d;
    x.offset = -e / (2.0 * d);
    return x;
}

}  // namespace

Segmentation segment(std::span<const double> x, std::span<const double> y,
                     const SegmentationSettings& settings)
{
    const std::size_t n = x.size();
    if (y.size() != n)
        throw std::invalid_argument("segment: x and y of one size");
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i]))
            throw std::invalid_argument("segment: finite values only");
        if (i > 0 && !(x[i] > x[i - 1]))
            throw std::invalid_argument("segment: x strictly increasing");
    }
    if (!(settings.variance > 0.0) || settings.tau < 0.0 || settings.penalty < 0.0 ||
        settings.min_size < 1)
        throw std::invalid_argument("segment: variance > 0, tau >= 0, penalty >= 0, min_size >= 1");
    Segmentation result;
    if (n == 0)
        return result;
    if (n == 1) {
        result.knots = {0};
        result.values = {y[0]};
        return result;
    }

    const std::size_t min_size = std::min(settings.min_size, n - 1);
    const double penalty = settings.penalty;
    const Whitened h = whiten(x, y, settings);
    const double sd = std::sqrt(settings.variance);

    std::vector<Node> nodes;
    std::vector<Start> starts{{0}};
    // The first point alone: w0 (y_0 - v)^2, y standardised to 0 there.
    std::vector<Candidate> candidates{{{h.w0, 0.0, 0.0}, 0, 0}};
    nodes.push_back({0, kNone, 0.0, 0.0});

    std::vector<Extension> extensions;
    std::vector<Quadratic> eligible;
    std::vector<std::uint32_t> eligible_of;  // candidate of each eligible extension
    std::vector<Piece> pieces;
    std::vector<std::uint32_t> on_envelope;
    std::vector<Candidate> born, kept;
    std::vector<Start> kept_starts;

    for (std::size_t t = 1; t < n; ++t) {
        if (settings.stop && t % kStopPoll == 0 && settings.stop->load(std::memory_order_relaxed)) {
            result.stopped = true;
            return result;
        }
        const double w = h.w[t], p = h.p[t], z = h.z[t], a = h.a[t];
        for (Start& s : starts) {
            const double xs = x[s.index];
            const double g = (x[t] - xs) - a * (x[t - 1] - xs);
            s.pp += w * p * p;
            s.pg += w * p * g;
            s.gg += w * g * g;
            s.zp += w * z * p;
            s.zg += w * z * g;
            s.zz += w * z * z;
        }

        extensions.resize(candidates.size());
        eligible.clear();
        eligible_of.clear();
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            const Start& s = starts[candidates[k].start];
            extensions[k] = extend(candidates[k], s, x[t] - x[s.index], penalty);
            if (t - s.index >= min_size) {
                eligible.push_back(extensions[k].cost);
                eligible_of.push_back(static_cast<std::uint32_t>(k));
                best = std::min(best, extensions[k].cost.least());
            }
        }
        result.work += candidates.size();

        if (t == n - 1) {
            // The end is no break: the least path, less one penalty, traced back.
            std::size_t k_best = 0;
            for (std::size_t e = 0; e < eligible.size(); ++e)
                if (eligible[e].least() < eligible[k_best].least())
                    k_best = e;
            const std::size_t k = eligible_of[k_best];
            double v = eligible[k_best].vertex();
            result.cost = eligible[k_best].least() - penalty;
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
            result.values.resize(values.size());
            for (std::size_t i = 0; i < values.size(); ++i)
                result.values[i] = values[values.size() - 1 - i] * sd + y[0];
            return result;
        }
        if (eligible.empty())
            continue;

        // Functional pruning: the quadratics least somewhere become the paths with a knot at t.
        lower_envelope(eligible, pieces);
        born.clear();
        on_envelope.clear();
        for (const Piece& piece : pieces) {
            bool seen = false;
            for (std::uint32_t e : on_envelope)
                seen = seen || e == piece.index;
            if (seen)
                continue;
            on_envelope.push_back(static_cast<std::uint32_t>(piece.index));
            const std::uint32_t k = eligible_of[piece.index];
            nodes.push_back({static_cast<std::uint32_t>(t), candidates[k].node, extensions[k].slope,
                             extensions[k].offset});
            born.push_back({eligible[piece.index], 0, static_cast<std::uint32_t>(nodes.size() - 1)});
        }

        // Inequality pruning: a last knot whose extension to t, less a penalty, lies above the
        // cost at t everywhere never beats a break at t, for any later segment end.
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            const Quadratic& q = extensions[k].cost;
            if (candidates[k].drop_after != SIZE_MAX || q.least() - penalty < best)
                continue;
            if (least_gap(q, eligible, pieces, penalty) >= penalty)
                candidates[k].drop_after = t + min_size - 1;  // a break at t needs min_size after it
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
    return result;  // not reached: n >= 2 ends inside the loop
}

std::vector<double> segmentation_curve(std::span<const double> x, const Segmentation& s)
{
    std::vector<double> curve(x.size(), 0.0);
    for (std::size_t k = 0; k + 1 < s.knots.size(); ++k) {
        const std::size_t i0 = s.knots[k], i1 = s.knots[k + 1];
        const double slope = (s.values[k + 1] - s.values[k]) / (x[i1] - x[i0]);
        for (std::size_t i = i0; i <= i1; ++i)
            curve[i] = s.values[k] + slope * (x[i] - x[i0]);
    }
    if (s.knots.size() == 1)
        curve[s.knots[0]] = s.values[0];
    return curve;
}

}  // namespace tolvenar::scan
