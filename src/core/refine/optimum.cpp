// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/optimum.h"

#include "core/refine/simplex.h"
#include "core/runtime/pool.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <optional>
#include <type_traits>

namespace tolvenar::refine {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kMaxLevels = 6;
constexpr int kMaxMoved = 4;
// Minima kept per pass for two moved break points, or every data point's tuples, and for more
// on coarse grids (which need more to hold several basins): the best separated ones are refined
// or descended. The last kept is the bound a box of tuples must pass.
constexpr std::size_t kKeptTwo = 64;
constexpr std::size_t kKeptMore = 256;
constexpr std::size_t kBasins = 8;
// Best corners whose every adjacent cell is descended within.
constexpr std::size_t kCorners = 3;
// A box's tuples, or a run of the innermost loop's positions, are solved once its last break
// point has fewer positions than this.
constexpr std::uint32_t kSolvedRun = 4;
// The same with a midway x3, whose floors cost more beside the tuples they spare.
constexpr std::uint32_t kMidwayRun = 16;
// Floors a pass by boxes may tell before it gives way to the grid (about the cost of the grid's
// first pass).
constexpr std::size_t kBoxBudget = 10000;
// Times a box's floor tries the ends of a moving vertex's range in turn.
constexpr int kBoxDepth = 1;
// Segments of at most this many points are summed point by point.
constexpr std::uint32_t kDirect = 8;

// The normal equations of the levels: the upper triangle of a p x p Gram matrix (packed by
// rows) and its right-hand side.
struct Normal {
    std::array<double, kMaxLevels * (kMaxLevels + 1) / 2> g{};
    std::array<double, kMaxLevels> b{};
    double yy = 0.0;  // the summed points' weighted y^2
};

constexpr int packed(int i, int j, int p)
{
    return i * p - i * (i - 1) / 2 + (j - i);  // i <= j
}

// The normal equations of exactly P levels, laid out as Normal's first entries: what the
// innermost loop copies and adds to for each tuple.
template <int P>
struct Levels {
    std::array<double, P * (P + 1) / 2> g{};
    std::array<double, P> b{};
    double yy = 0.0;
};

// A segment k..k+1 from level a to level b, with its places in the packed Gram matrix.
struct Step {
    int k = 0, a = 0, b = 0;
    int aa = 0, bb = 0, ab = 0;
};

constexpr Step step_of(int k, int a, int b, int p)
{
    return {k, a, b, packed(a, a, p), packed(b, b, p), packed(std::min(a, b), std::max(a, b), p)};
}

// A break point position of a grid: x scaled to 0..1 over the crop, the points at or left of
// it, the distinct t at or left of it.
struct Pos {
    double x = 0.0;
    std::uint32_t e = 0;
    std::uint32_t u = 0;
};

// Running sums of the weighted points in scaled units: t' = (t - left) / width over 0..1,
// y' = (y - mean) / spread. Accumulated with compensation so that a short range's sums keep
// their digits on a long series.
class Sums {
public:
    explicit Sums(const OptimumProblem& p)
        : m_left(p.left), m_width(p.right - p.left), n(p.t.size())
    {
        const auto weight = [&](std::size_t i) { return p.w.empty() ? 1.0 : p.w[i]; };
        double sw = 0.0, swy = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            sw += weight(i), swy += weight(i) * p.y[i];
        m_mean = sw > 0.0 ? swy / sw : 0.0;
        double ss = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            ss += weight(i) * (p.y[i] - m_mean) * (p.y[i] - m_mean);
        m_spread = sw > 0.0 && ss > 0.0 ? std::sqrt(ss / sw) : 1.0;
        ts.resize(n);
        m_ys.resize(n);
        m_run.assign(n + 1, Running{});
        std::array<double, 6> sum{}, carry{};
        const auto add = [&](int k, double v) {  // Kahan
            const double z = v - carry[static_cast<std::size_t>(k)];
            const double s = sum[static_cast<std::size_t>(k)] + z;
            carry[static_cast<std::size_t>(k)] = (s - sum[static_cast<std::size_t>(k)]) - z;
            sum[static_cast<std::size_t>(k)] = s;
        };
        yy = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double t = (p.t[i] - m_left) / m_width, y = (p.y[i] - m_mean) / m_spread;
            const double w = weight(i);
            ts[i] = t;
            m_ys[i] = y;
            if (!p.w.empty())
                m_ws.push_back(w);
            add(0, w), add(1, w * t), add(2, w * t * t), add(3, w * y), add(4, w * t * y);
            add(5, w * y * y);
            yy += w * y * y;
            m_run[i + 1] = {sum[0], sum[1], sum[2], sum[3], sum[4], sum[5]};
        }
        for (std::size_t i = 0; i < n; ++i)
            if (i == 0 || ts[i] != ts[i - 1])
                distinct.push_back(ts[i]);
        ends.resize(distinct.size());
        for (std::size_t u = 0, i = 0; u < distinct.size(); ++u) {
            while (i < n && ts[i] <= distinct[u])
                ++i;
            ends[u] = static_cast<std::uint32_t>(i);
        }
    }

    double scaled(double t) const { return (t - m_left) / m_width; }
    double unscaled(double s) const { return m_left + s * m_width; }
    double level_scaled(double v) const { return (v - m_mean) / m_spread; }
    double sq_unscaled(double s) const { return s * m_spread * m_spread; }
    double level_unscaled(double v) const { return m_mean + v * m_spread; }

    // Points at or left of scaled x.
    std::uint32_t count_upto(double x) const
    {
        return static_cast<std::uint32_t>(std::upper_bound(ts.begin(), ts.end(), x) - ts.begin());
    }

    Pos at(double x) const
    {
        const auto d = std::upper_bound(distinct.begin(), distinct.end(), x) - distinct.begin();
        return {x, count_upto(x), static_cast<std::uint32_t>(std::max<std::ptrdiff_t>(d - 1, 0))};
    }
    // Points left of a position.
    std::uint32_t before(const Pos& at) const
    {
        return distinct.empty() || distinct[at.u] != at.x ? at.e : at.u > 0 ? ends[at.u - 1] : 0;
    }

    Pos distinct_at(std::size_t u) const
    {
        return {distinct[u], ends[u], static_cast<std::uint32_t>(u)};
    }

    // Points lo..hi-1 all at level a.
    void add_flat(Normal& eq, std::uint32_t lo, std::uint32_t hi, int a, int p) const
    {
        add_flat(eq, lo, hi, step_of(0, a, a, p));
    }

    // Points lo..hi-1 on the segment from x0 (level a) over a length d (level b).
    void add_segment(Normal& eq, std::uint32_t lo, std::uint32_t hi, double x0, double d, int a,
                     int b, int p) const
    {
        add_segment(eq, lo, hi, x0, d, step_of(0, a, b, p));
    }

    // The same into equations E (Normal or Levels) at a step's places.
    template <typename E>
    void add_flat(E& eq, std::uint32_t lo, std::uint32_t hi, const Step& at) const
    {
        if (lo >= hi)
            return;
        eq.g[static_cast<std::size_t>(at.aa)] += m_run[hi].w - m_run[lo].w;
        eq.b[static_cast<std::size_t>(at.a)] += m_run[hi].y - m_run[lo].y;
        eq.yy += m_run[hi].yy - m_run[lo].yy;
    }

    template <typename E>
    void add_segment(E& eq, std::uint32_t lo, std::uint32_t hi, double x0, double d, const Step& at) const
    {
        if (lo >= hi)
            return;
        if (at.a == at.b)
            return add_flat(eq, lo, hi, at);
        const Moments s = moments(lo, hi, x0, 1.0 / d);
        eq.g[static_cast<std::size_t>(at.aa)] += s.s0 - 2.0 * s.sa + s.saa;
        eq.g[static_cast<std::size_t>(at.bb)] += s.saa;
        eq.g[static_cast<std::size_t>(at.ab)] += s.sa - s.saa;
        eq.b[static_cast<std::size_t>(at.a)] += s.sy - s.say;
        eq.b[static_cast<std::size_t>(at.b)] += s.say;
        eq.yy += s.syy;
    }

    // Weighted sums over points lo..hi-1 (lo < hi) of 1, a, a^2, y, a y and y^2, for
    // a = (t - x0) * inv.
    struct Moments {
        double s0 = 0.0, sa = 0.0, saa = 0.0, sy = 0.0, say = 0.0, syy = 0.0;
    };
    // The points' own least-squares line c0 + c1 a and the sum of squares it leaves; nothing
    // where they do not pin a line (too few, or their a all but alike).
    struct Line {
        double c0 = 0.0, c1 = 0.0, rest = 0.0;
    };
    static std::optional<Line> free_line(const Moments& s, std::uint32_t points)
    {
        const double det = s.s0 * s.saa - s.sa * s.sa;
        if (points <= 2 || !(det > 1e-12 * s.s0 * s.saa))
            return std::nullopt;
        Line l;
        l.c0 = (s.saa * s.sy - s.sa * s.say) / det;
        l.c1 = (s.s0 * s.say - s.sa * s.sy) / det;
        const double fitted = (s.saa * s.sy * s.sy - 2.0 * s.sa * s.sy * s.say + s.s0 * s.say * s.say) / det;
        l.rest = std::max(s.syy - fitted, 0.0);
        return l;
    }
    Moments moments(std::uint32_t lo, std::uint32_t hi, double x0, double inv) const
    {
        Moments s;
        s.s0 = m_run[hi].w - m_run[lo].w, s.sy = m_run[hi].y - m_run[lo].y;
        s.syy = m_run[hi].yy - m_run[lo].yy;
        if (hi - lo <= kDirect || ts[hi - 1] - ts[lo] < 1e-4) {
            // Few points, or points too close together for differences of running sums (whose
            // rounding grows with the sums) to keep the digits of their spread: summed directly.
            s.s0 = s.sy = 0.0;
            for (std::uint32_t i = lo; i < hi; ++i) {
                const double w = m_ws.empty() ? 1.0 : m_ws[i], ai = (ts[i] - x0) * inv;
                s.s0 += w, s.sy += w * m_ys[i], s.sa += w * ai, s.saa += w * ai * ai;
                s.say += w * ai * m_ys[i];
            }
        } else {
            const Running &a = m_run[lo], &b = m_run[hi];
            const double s1 = b.t - a.t, s2 = b.tt - a.tt, sty = b.ty - a.ty;
            s.sa = (s1 - x0 * s.s0) * inv;
            s.saa = (s2 - 2.0 * x0 * s1 + x0 * x0 * s.s0) * inv * inv;
            s.say = (sty - x0 * s.sy) * inv;
        }
        return s;
    }

    std::vector<double> ts;
    std::vector<double> distinct;      // distinct scaled t, ascending
    std::vector<std::uint32_t> ends;   // points at or left of each distinct t
    double yy = 0.0;

private:
    double m_left, m_width, m_mean = 0.0, m_spread = 1.0;
    std::size_t n;
    std::vector<double> m_ys;  // scaled y
    std::vector<double> m_ws;  // weights; empty: every point 1
    // Running sums of w, w t, w t^2, w y, w t y and w y^2 before each point, side by side: a
    // segment reads two of them.
    struct Running {
        double w = 0.0, t = 0.0, tt = 0.0, y = 0.0, ty = 0.0, yy = 0.0;
    };
    std::vector<Running> m_run;
};

// pick(std::integral_constant<int, p>{}): what is made for p levels (1 to kMaxLevels).
template <typename Pick>
auto for_levels(int p, Pick pick)
{
    switch (p) {
    case 1: return pick(std::integral_constant<int, 1>{});
    case 2: return pick(std::integral_constant<int, 2>{});
    case 3: return pick(std::integral_constant<int, 3>{});
    case 4: return pick(std::integral_constant<int, 4>{});
    case 5: return pick(std::integral_constant<int, 5>{});
    default: return pick(std::integral_constant<int, 6>{});
    }
}

// min over levels of yy - 2 b'v + v'Gv with v in [lower, upper]: LDL' of the Gram for the
// free levels, every choice of levels held at a bound when the free answer leaves its box.
class LevelSolver {
public:
    LevelSolver(int p, bool chain, std::vector<double> lower, std::vector<double> upper)
        : m_p(p), m_chain(chain), m_lower(std::move(lower)), m_upper(std::move(upper))
    {
        const auto pick = [&](auto q) -> Sum {
            return chain ? &ldl_chain<q()> : &ldl_all<q()>;
        };
        m_sum = for_levels(p, pick);
        for (int j = 0; j < p; ++j)
            m_bounded = m_bounded || std::isfinite(m_lower[static_cast<std::size_t>(j)]) ||
                        std::isfinite(m_upper[static_cast<std::size_t>(j)]);
    }

    // The least sum of squares; levels written to `levels` when given.
    double solve(const Normal& eq, double yy, double* levels = nullptr) const
    {
        if (!m_bounded && !levels)
            return m_sum(eq, yy, nullptr);
        std::array<double, kMaxLevels> v{};
        const double free = unbounded(eq, yy, m_bounded || levels ? v.data() : nullptr);
        if (!m_bounded || (std::isfinite(free) && within(v.data()))) {
            if (levels)
                std::copy_n(v.begin(), m_p, levels);
            return free;
        }
        if (!std::isfinite(free))
            return kInf;
        return held(eq, yy, levels);
    }

    int levels() const { return m_p; }
    bool chained() const { return m_chain; }

    // solve() without levels for a solver of P levels (chained or not as made): the free solve
    // inlined into the caller's loop.
    template <int P, bool Chain>
    double solve_as(const Levels<P>& eq, double yy) const
    {
        if (m_bounded)
            return solve(widened(eq), yy);
        if constexpr (Chain)
            return chain_sum<P>(eq, yy);
        else
            return ldl_all<P>(eq, yy, nullptr);
    }

    // The least sum of the points in `parent` and in `tail` together, levels of a chain unbounded
    // and shared, those no point sees left out; 0 when it cannot be told. At least the sum of their
    // floors apart, and no model of all the points does better on them.
    template <int P>
    static double joint_floor(const Levels<P>& parent, const Normal& tail)
    {
        Levels<P> joint = parent;
        for (std::size_t k = 0; k < joint.g.size(); ++k)
            joint.g[k] += tail.g[k];
        for (std::size_t j = 0; j < joint.b.size(); ++j)
            joint.b[j] += tail.b[j];
        joint.yy += tail.yy;
        return seen_floor<P, true>(joint);
    }

    // The least sum of the points summed in `eq`, levels unbounded, those no point sees apart
    // from the rest (at 0); by the chain's solve when Chain. 0 when it cannot be told.
    template <int P, bool Chain>
    static double seen_floor(Levels<P> eq)
    {
        for (int j = 0; j < P; ++j) {
            double& diagonal = eq.g[static_cast<std::size_t>(packed(j, j, P))];
            diagonal = diagonal > 0.0 ? diagonal : 1.0;
        }
        // Apart from the tuples' own solve, which the innermost loop inlines.
        const double sum = Chain ? chain_sum<P>(eq, eq.yy) : ldl_all<P>(widened(eq), eq.yy, nullptr);
        return std::isfinite(sum) ? sum : 0.0;
    }

    // The same equations as a Normal, for the bounded solve.
    template <int P>
    static Normal widened(const Levels<P>& eq)
    {
        Normal whole;
        std::copy(eq.g.begin(), eq.g.end(), whole.g.begin());
        std::copy(eq.b.begin(), eq.b.end(), whole.b.begin());
        whole.yy = eq.yy;
        return whole;
    }

    // The least sum of the points summed in `eq` alone, levels unbounded, those no point sees
    // left out: no model of all the points does better on them. 0 when it cannot be told.
    // The levels that reach it are written to `levels` when given (NaN: a level no point
    // sees, or none told).
    double floor(const Normal& eq, double* levels = nullptr) const
    {
        std::array<int, kMaxLevels> idx{};
        std::array<double, kMaxLevels> fixed;
        fixed.fill(kInf);
        int q = 0;
        for (int j = 0; j < m_p; ++j)
            if (eq.g[static_cast<std::size_t>(packed(j, j, m_p))] > 0.0)
                idx[static_cast<std::size_t>(q++)] = j;
        if (q > 0) {  // the levels seen alone, by the unrolled solve
            Normal seen = eq;
            if (q < m_p) {
                for (int i = 0; i < q; ++i) {
                    seen.b[static_cast<std::size_t>(i)] = eq.b[static_cast<std::size_t>(idx[static_cast<std::size_t>(i)])];
                    for (int j = i; j < q; ++j)
                        seen.g[static_cast<std::size_t>(packed(i, j, q))] = eq.g[static_cast<std::size_t>(
                            packed(idx[static_cast<std::size_t>(i)], idx[static_cast<std::size_t>(j)], m_p))];
                }
            }
            std::array<double, kMaxLevels> v{};
            const double all = kFloors[static_cast<std::size_t>(q - 1)](seen, eq.yy, levels ? v.data() : nullptr);
            if (std::isfinite(all)) {
                if (levels) {
                    std::fill_n(levels, m_p, std::numeric_limits<double>::quiet_NaN());
                    for (int i = 0; i < q; ++i)
                        levels[idx[static_cast<std::size_t>(i)]] = v[static_cast<std::size_t>(i)];
                }
                return all;
            }
        }
        if (levels)
            std::fill_n(levels, m_p, std::numeric_limits<double>::quiet_NaN());
        const double s = q == 0 ? eq.yy : ldl(eq, m_p, idx.data(), q, fixed.data(), eq.yy, levels);
        if (!std::isfinite(s) && levels)
            std::fill_n(levels, m_p, std::numeric_limits<double>::quiet_NaN());
        return std::isfinite(s) ? s : 0.0;
    }

private:
    bool within(const double* v) const
    {
        for (int j = 0; j < m_p; ++j)
            if (v[j] < m_lower[static_cast<std::size_t>(j)] ||
                v[j] > m_upper[static_cast<std::size_t>(j)])
                return false;
        return true;
    }

    // Cholesky-free LDL' solve of the levels listed in `idx` (the others at `fixed`).
    static double ldl(const Normal& eq, int p, const int* idx, int q, const double* fixed,
                      double yy, double* v)
    {
        std::array<double, kMaxLevels * kMaxLevels> l{};
        std::array<double, kMaxLevels> d{}, rhs{}, z{};
        const auto g = [&](int i, int j) {
            return eq.g[static_cast<std::size_t>(packed(std::min(i, j), std::max(i, j), p))];
        };
        double scale = 0.0;
        for (int i = 0; i < q; ++i)
            scale = std::max(scale, g(idx[i], idx[i]));
        // Right-hand side less the held levels' share, and their own part of the sum.
        double base = yy;
        for (int j = 0; j < p; ++j) {
            if (!std::isfinite(fixed[j]))
                continue;
            base -= 2.0 * eq.b[static_cast<std::size_t>(j)] * fixed[j];
            for (int k = 0; k < p; ++k)
                if (std::isfinite(fixed[k]))
                    base += fixed[j] * g(j, k) * fixed[k];
        }
        for (int i = 0; i < q; ++i) {
            double r = eq.b[static_cast<std::size_t>(idx[i])];
            for (int k = 0; k < p; ++k)
                if (std::isfinite(fixed[k]))
                    r -= g(idx[i], k) * fixed[k];
            rhs[static_cast<std::size_t>(i)] = r;
        }
        for (int j = 0; j < q; ++j) {
            double dj = g(idx[j], idx[j]);
            for (int k = 0; k < j; ++k)
                dj -= l[static_cast<std::size_t>(j * kMaxLevels + k)] *
                      l[static_cast<std::size_t>(j * kMaxLevels + k)] * d[static_cast<std::size_t>(k)];
            // A level no point sees, or one the others already make: no unique answer.
            if (!(dj > 1e-13 * scale))
                return kInf;
            d[static_cast<std::size_t>(j)] = dj;
            for (int i = j + 1; i < q; ++i) {
                double s = g(idx[i], idx[j]);
                for (int k = 0; k < j; ++k)
                    s -= l[static_cast<std::size_t>(i * kMaxLevels + k)] *
                         l[static_cast<std::size_t>(j * kMaxLevels + k)] * d[static_cast<std::size_t>(k)];
                l[static_cast<std::size_t>(i * kMaxLevels + j)] = s / dj;
            }
        }
        double sq = base;
        for (int i = 0; i < q; ++i) {
            double s = rhs[static_cast<std::size_t>(i)];
            for (int k = 0; k < i; ++k)
                s -= l[static_cast<std::size_t>(i * kMaxLevels + k)] * z[static_cast<std::size_t>(k)];
            z[static_cast<std::size_t>(i)] = s;
            sq -= s * s / d[static_cast<std::size_t>(i)];
        }
        if (sq < -1e-9 * yy)
            return kInf;
        if (v) {
            for (int i = q; i-- > 0;) {
                double s = z[static_cast<std::size_t>(i)] / d[static_cast<std::size_t>(i)];
                for (int k = i + 1; k < q; ++k)
                    s -= l[static_cast<std::size_t>(k * kMaxLevels + i)] * v[idx[k]];
                v[idx[i]] = s;
            }
            for (int j = 0; j < p; ++j)
                if (std::isfinite(fixed[j]))
                    v[j] = fixed[j];
        }
        return std::max(sq, 0.0);
    }

    // Pivots below this share of it mark a level no point sees, or one the others make.
    template <int P>
    static double largest_diagonal(const double* g)
    {
        double scale = 0.0;
        for (int i = 0; i < P; ++i)
            scale = std::max(scale, g[static_cast<std::size_t>(packed(i, i, P))]);
        return scale;
    }

    // The free levels by LDL' of the whole Gram matrix, unrolled for each count of levels;
    // the levels themselves only when `v` is given.
    template <int P, typename E = Normal>
    static double ldl_all(const E& eq, double yy, double* v)
    {
        double l[P][P] = {}, d[P] = {}, inv[P] = {}, z[P] = {};
        const double scale = largest_diagonal<P>(eq.g.data());
        double sq = yy;
        for (int j = 0; j < P; ++j) {
            double dj = eq.g[static_cast<std::size_t>(packed(j, j, P))];
            for (int k = 0; k < j; ++k)
                dj -= l[j][k] * l[j][k] * d[k];
            if (!(dj > 1e-13 * scale))
                return kInf;
            d[j] = dj;
            inv[j] = 1.0 / dj;
            for (int i = j + 1; i < P; ++i) {
                double s = eq.g[static_cast<std::size_t>(packed(j, i, P))];
                for (int k = 0; k < j; ++k)
                    s -= l[i][k] * l[j][k] * d[k];
                l[i][j] = s * inv[j];
            }
            double r = eq.b[static_cast<std::size_t>(j)];
            for (int k = 0; k < j; ++k)
                r -= l[j][k] * z[k];
            z[j] = r;
            sq -= r * r * inv[j];
        }
        // Rounding far beyond the sum's own digits: no trustworthy answer.
        if (sq < -1e-9 * yy)
            return kInf;
        if (v)
            for (int i = P; i-- > 0;) {
                double s = z[i] * inv[i];
                for (int k = i + 1; k < P; ++k)
                    s -= l[k][i] * v[k];
                v[i] = s;
            }
        return std::max(sq, 0.0);
    }

    // The same for a Gram matrix whose levels form a chain (tridiagonal): each segment joins a
    // level to itself or to the next.
    template <int P, typename E = Normal>
    static double ldl_chain(const E& eq, double yy, double* v)
    {
        double l[P] = {}, inv[P] = {}, z[P] = {};
        const double scale = largest_diagonal<P>(eq.g.data());
        double sq = yy;
        for (int j = 0; j < P; ++j) {
            double dj = eq.g[static_cast<std::size_t>(packed(j, j, P))];
            double r = eq.b[static_cast<std::size_t>(j)];
            if (j > 0) {
                const double off = eq.g[static_cast<std::size_t>(packed(j - 1, j, P))];
                l[j] = off * inv[j - 1];
                dj -= l[j] * off;
                r -= l[j] * z[j - 1];
            }
            if (!(dj > 1e-13 * scale))
                return kInf;
            inv[j] = 1.0 / dj;
            z[j] = r;
            sq -= r * r * inv[j];
        }
        if (sq < -1e-9 * yy)
            return kInf;
        if (v)
            for (int i = P; i-- > 0;)
                v[i] = z[i] * inv[i] - (i + 1 < P ? l[i + 1] * v[i + 1] : 0.0);
        return std::max(sq, 0.0);
    }

    // ldl_chain's sum alone, free of divisions along the chain (its latency dominates a pair's
    // solve): with the leading minors D_0 = 1, D_j+1 = g_jj D_j - g_j-1,j^2 D_j-1 and
    // Z_j = b_j D_j - g_j-1,j Z_j-1, the sum falls by Z_j^2 / (D_j D_j+1) at level j, each of
    // them independent. Minors past the double range fall back to the chain's own solve.
    template <int P, typename E = Normal>
    static double chain_sum(const E& eq, double yy)
    {
        double minor[P + 1], z[P];
        minor[0] = 1.0;
        minor[1] = eq.g[0];
        z[0] = eq.b[0];
        const double scale = largest_diagonal<P>(eq.g.data());
        bool pivots = minor[1] > 1e-13 * scale;
        for (int j = 1; j < P; ++j) {
            const double off = eq.g[static_cast<std::size_t>(packed(j - 1, j, P))];
            const double diagonal = eq.g[static_cast<std::size_t>(packed(j, j, P))];
            minor[j + 1] = diagonal * minor[j] - off * off * minor[j - 1];
            z[j] = eq.b[static_cast<std::size_t>(j)] * minor[j] - off * z[j - 1];
            pivots = pivots && minor[j + 1] > 1e-13 * scale * minor[j];
        }
        double sq = yy;
        for (int j = 0; j < P; ++j)
            sq -= z[j] * z[j] / (minor[j] * minor[j + 1]);
        if (!std::isfinite(sq) || !(std::abs(minor[P]) < kInf))
            return ldl_chain<P, E>(eq, yy, nullptr);
        if (!pivots)
            return kInf;
        if (sq < -1e-9 * yy)
            return kInf;
        return std::max(sq, 0.0);
    }

    double unbounded(const Normal& eq, double yy, double* v) const { return m_sum(eq, yy, v); }

    // Every choice of levels held at a finite bound, the rest solved and kept in their boxes.
    double held(const Normal& eq, double yy, double* levels) const
    {
        std::array<int, kMaxLevels> hold{};  // 0 free, 1 lower, 2 upper
        double best = kInf;
        std::array<double, kMaxLevels> v{}, best_v{};
        while (true) {
            std::array<int, kMaxLevels> idx{};
            std::array<double, kMaxLevels> fixed;
            fixed.fill(kInf);
            int q = 0;
            for (int j = 0; j < m_p; ++j) {
                const auto sj = static_cast<std::size_t>(j);
                if (hold[sj] == 0)
                    idx[static_cast<std::size_t>(q++)] = j;
                else
                    fixed[sj] = hold[sj] == 1 ? m_lower[sj] : m_upper[sj];
            }
            const double s = ldl(eq, m_p, idx.data(), q, fixed.data(), yy, v.data());
            if (s < best && within(v.data()))
                best = s, best_v = v;
            int j = 0;
            for (; j < m_p; ++j) {
                const auto sj = static_cast<std::size_t>(j);
                if (hold[sj] == 0 && std::isfinite(m_lower[sj])) {
                    hold[sj] = 1;
                    break;
                }
                if (hold[sj] != 2 && std::isfinite(m_upper[sj])) {
                    hold[sj] = 2;
                    break;
                }
                hold[sj] = 0;
            }
            if (j == m_p)
                break;
        }
        if (levels && std::isfinite(best))
            std::copy_n(best_v.begin(), m_p, levels);
        return best;
    }

    using Sum = double (*)(const Normal&, double, double*);
    static constexpr std::array<Sum, kMaxLevels> kFloors{&ldl_all<1>, &ldl_all<2>, &ldl_all<3>,
                                                         &ldl_all<4>, &ldl_all<5>, &ldl_all<6>};
    int m_p;
    bool m_chain;
    Sum m_sum = nullptr;  // the free levels' solve: for m_p levels, by their chain when tridiagonal
    std::vector<double> m_lower, m_upper;
    bool m_bounded = false;
};

// Which loop of the enumeration sets each vertex (-1: fixed), and after which loop each
// segment's points can be summed.
struct Plan {
    int d = 0, last = 0, p = 0;
    bool midway = false;
    std::array<int, 7> moved_at{};    // loop setting vertex k, -1 fixed
    std::array<int, 7> level_of{};
    // Segments summed after loop i - 1 (i = 0: before any loop), in order.
    std::array<std::vector<Step>, kMaxMoved + 1> segments;
    std::vector<int> tail;  // segments from the last loop's vertex to a fixed one
};

Plan plan_of(const FamilyShape& shape)
{
    Plan plan;
    plan.d = static_cast<int>(shape.moved.size());
    plan.last = shape.last;
    plan.p = static_cast<int>(shape.levels());
    plan.midway = shape.midway;
    plan.moved_at.fill(-1);
    for (int i = 0; i < plan.d; ++i)
        plan.moved_at[static_cast<std::size_t>(shape.moved[static_cast<std::size_t>(i)])] = i;
    if (plan.midway)
        plan.moved_at[3] = std::max(plan.moved_at[2], plan.moved_at[4]);
    for (int k = 1; k <= 6; ++k)
        plan.level_of[static_cast<std::size_t>(k)] = shape.level_of[static_cast<std::size_t>(k)];
    for (int k = 1; k < plan.last; ++k) {
        const int loop = std::max(plan.moved_at[static_cast<std::size_t>(k)],
                                  plan.moved_at[static_cast<std::size_t>(k + 1)]);
        plan.segments[static_cast<std::size_t>(loop + 1)].push_back(
            step_of(k, plan.level_of[static_cast<std::size_t>(k)],
                    plan.level_of[static_cast<std::size_t>(k + 1)], plan.p));
        if (loop == plan.d - 1 && plan.moved_at[static_cast<std::size_t>(k + 1)] == -1)
            plan.tail.push_back(k);
    }
    return plan;
}

// Whether every segment joins a level to itself or to the next: a tridiagonal Gram matrix.
bool chain(const Plan& plan)
{
    for (int k = 1; k < plan.last; ++k)
        if (std::abs(plan.level_of[static_cast<std::size_t>(k + 1)] -
                     plan.level_of[static_cast<std::size_t>(k)]) > 1)
            return false;
    return true;
}

using Tuple = std::array<Pos, kMaxMoved>;

struct Entry {
    double value = kInf;
    Tuple at{};
};

bool before(const Entry& a, const Entry& b, int d)
{
    if (a.value != b.value)
        return a.value < b.value;
    for (int i = 0; i < d; ++i)
        if (a.at[static_cast<std::size_t>(i)].x != b.at[static_cast<std::size_t>(i)].x)
            return a.at[static_cast<std::size_t>(i)].x < b.at[static_cast<std::size_t>(i)].x;
    return false;
}

// The best `kept` entries under a total order: the same set whichever thread saw which. Offers
// gather unsorted and are cut back to the best each time twice as many have gathered.
class Best {
public:
    explicit Best(int d) : Best(d, d <= 2 ? kKeptTwo : kKeptMore) {}
    Best(int d, std::size_t kept) : m_d(d), m_kept(kept) {}
    double worst() const { return m_threshold; }
    // Offers above `ceiling` are not kept: they cannot be among the best of a list whose kept
    // already lie at or below it.
    void cap(double ceiling) { m_threshold = std::min(m_threshold, ceiling); }
    void offer(const Entry& e)
    {
        if (!(e.value <= m_threshold))
            return;
        m_list.push_back(e);
        if (m_list.size() >= 2 * m_kept)
            cut();
    }
    void merge(const Best& other)
    {
        for (const Entry& e : other.m_list)
            offer(e);
    }
    // The best `kept`, best first.
    const std::vector<Entry>& list()
    {
        cut();
        std::sort(m_list.begin(), m_list.end(), [&](const Entry& a, const Entry& b) { return before(a, b, m_d); });
        return m_list;
    }

private:
    void cut()
    {
        if (m_list.size() <= m_kept)
            return;
        const auto order = [&](const Entry& a, const Entry& b) { return before(a, b, m_d); };
        const auto kept = static_cast<std::ptrdiff_t>(m_kept);
        std::nth_element(m_list.begin(), m_list.begin() + kept - 1, m_list.end(), order);
        m_threshold = m_list[m_kept - 1].value;
        m_list.resize(m_kept);
    }

    int m_d;
    std::size_t m_kept;
    double m_threshold = kInf;  // offers above it cannot be among the best kept
    std::vector<Entry> m_list;
};

class Search {
public:
    Search(const OptimumProblem& problem)
        : m_problem(problem), m_sums(problem), m_plan(plan_of(problem.shape)),
          m_solver(m_plan.p, chain(m_plan), scaled_levels(problem.level_lower),
                   scaled_levels(problem.level_upper))
    {
        m_left_count = m_sums.count_upto(0.0);
        m_right_count = m_sums.count_upto(1.0);
        const auto pick = [&](auto q) -> Innermost {
            return m_solver.chained() ? &Search::innermost<q(), true> : &Search::innermost<q(), false>;
        };
        m_innermost = for_levels(m_solver.levels(), pick);
        m_boxes = m_plan.d >= 3 && !m_plan.midway;
        for (int i = 0; i < m_plan.d; ++i)
            m_boxes = m_boxes && problem.shape.moved[static_cast<std::size_t>(i)] == i + 2;
        for (std::size_t i = 0; i < problem.lower.size(); ++i) {
            m_lower.push_back(std::clamp(m_sums.scaled(problem.lower[i]), 0.0, 1.0));
            m_upper.push_back(std::clamp(m_sums.scaled(problem.upper[i]), 0.0, 1.0));
        }
    }

    const Sums& sums() const { return m_sums; }
    const Plan& plan() const { return m_plan; }
    bool stopped() const { return m_problem.stop && m_problem.stop->load(std::memory_order_relaxed); }

    // Vertex x and point counts of scaled break points `moved`.
    void vertices(const double* moved, std::array<double, 7>& x, std::array<std::uint32_t, 7>& e) const
    {
        x.fill(1.0);
        x[1] = 0.0;
        for (int i = 0; i < m_plan.d; ++i)
            x[static_cast<std::size_t>(m_problem.shape.moved[static_cast<std::size_t>(i)])] = moved[i];
        if (m_plan.midway)
            x[3] = 0.5 * (x[2] + x[4]);
        for (std::size_t k = 1; k <= 6; ++k)
            e[k] = x[k] == 0.0 ? m_left_count : x[k] == 1.0 ? m_right_count : m_sums.count_upto(x[k]);
    }

    // The segments summed after loop `loop` (-1: before any), added to `eq`; false for a model
    // Fitting refuses (points on a first segment of no length).
    template <typename E>
    bool add_segments(E& eq, int loop, const std::array<double, 7>& x,
                      const std::array<std::uint32_t, 7>& e) const
    {
        const auto& of = m_plan.level_of;
        if (loop == -1) {
            const auto last = static_cast<std::size_t>(m_plan.last);
            m_sums.add_flat(eq, 0, e[1], step_of(1, of[1], of[1], m_plan.p));
            m_sums.add_flat(eq, e[last], static_cast<std::uint32_t>(m_sums.ts.size()),
                            step_of(m_plan.last, of[last], of[last], m_plan.p));
        }
        for (const Step& step : m_plan.segments[static_cast<std::size_t>(loop + 1)]) {
            const auto sk = static_cast<std::size_t>(step.k);
            const double d = x[sk + 1] - x[sk];
            if (!(d > 0.0)) {
                if (step.k == 1 && e[2] > 0)
                    return false;
                continue;  // no point lies on it
            }
            m_sums.add_segment(eq, e[sk], e[sk + 1], x[sk], d, step);
        }
        return true;
    }

    // Profiled scaled sum of squares at scaled break points (any, not only a grid's).
    double value(const double* moved, double* levels = nullptr) const
    {
        std::array<double, 7> x{};
        std::array<std::uint32_t, 7> e{};
        vertices(moved, x, e);
        Normal eq;
        for (int loop = -1; loop < std::max(m_plan.d, 1); ++loop)
            if (!add_segments(eq, loop, x, e))
                return kInf;
        return m_solver.solve(eq, m_sums.yy, levels);
    }

    // The best entries at or below `ceiling` over every increasing tuple of the grids' positions
    // (loop i over grids[i]), the first loop shared out over the threads.
    Best enumerate(const std::vector<std::vector<Pos>>& grids, bool& stopped, double ceiling = kInf) const
    {
        const int d = m_plan.d;
        std::array<double, 7> x{};
        std::array<std::uint32_t, 7> e{};
        std::array<double, kMaxMoved> none{};
        vertices(none.data(), x, e);  // fixed vertices; moved ones are set by the loops
        Normal base;
        add_segments(base, -1, x, e);
        Best best = kept_best(d);
        if (d == 0) {
            Entry only;
            only.value = m_solver.solve(base, m_sums.yy);
            best.offer(only);
            return best;
        }
        // Branch and bound: a tuple whose points left of its last break point alone (solved
        // on their own), plus those right of it alone, sum above the best kept cannot be kept.
        const Tails tail = tails(grids, base, x, e);
        const double head = m_solver.floor(base);
        // The first loop from the first start outwards: near it the best kept fill first, so
        // that their bound prunes the rest sooner. The best kept are the same in any order.
        std::vector<std::size_t> order(grids[0].size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        if (!m_problem.starts.empty() && !m_problem.starts[0].empty()) {
            const double near = m_sums.scaled(m_problem.starts[0][0]);
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return std::abs(grids[0][a].x - near) < std::abs(grids[0][b].x - near);
            });
        }
        // Shared out over up to one thread per 8 of the first loop's positions, taken a
        // position at a time; each share keeps its own best, merged in share order.
        const std::size_t shares =
            std::clamp<std::size_t>(grids[0].size() / 8, 1, threads_to_use(m_problem.threads));
        std::vector<Best> found(shares, kept_best(d));
        for (Best& share : found)
            share.cap(ceiling);
        std::atomic<std::size_t> next{0};
        std::atomic<bool> halted{false};
        parallel_for(shares, shares, [&](std::size_t share) {
            std::array<double, 7> wx = x;
            std::array<std::uint32_t, 7> we = e;
            Entry entry;
            for (std::size_t i; (i = next.fetch_add(1)) < grids[0].size();) {
                if (stopped_now()) {
                    halted = true;
                    break;
                }
                loop(grids, tail, 0, order[i], base, head, wx, we, entry, found[share]);
            }
        });
        for (const Best& share : found)
            best.merge(share);
        stopped = stopped || halted;
        return best;
    }

    // Whether the box search serves this family (three or four break points on consecutive
    // vertices).
    bool by_boxes() const { return m_boxes; }

    // The best a pass keeps: its best tuple alone when nothing is refined from it, so that every
    // floor is held to that tuple's sum and the same best is found sooner.
    Best kept_best(int d) const { return m_problem.corners ? Best(d, 1) : Best(d); }

    // enumerate's best entries, by splitting boxes of positions: first every tuple near the
    // first start, so that the best kept fill early, then the boxes around it, the lowest floor
    // first, each dropped once its floor lies above the best kept. A box whose break points but
    // the last sit at one position each has its tuples solved as enumerate solves them.
    // Nothing when the floors leave too many boxes to split (kBoxBudget).
    std::optional<Best> best_by_boxes(const std::vector<std::vector<Pos>>& grids, bool& stopped) const
    {
        const int d = m_plan.d;
        std::array<double, 7> x{};
        std::array<std::uint32_t, 7> e{};
        std::array<double, kMaxMoved> none{};
        vertices(none.data(), x, e);
        Normal base;
        add_segments(base, -1, x, e);
        const Tails tail = tails(grids, base, x, e);
        Best best = m_problem.corners ? kept_best(d) : Best(d, kKeptTwo);
        Entry entry;
        const auto solve = [&](const Box& box) {
            std::array<double, 7> bx = x;
            std::array<std::uint32_t, 7> be = e;
            Normal eq = base;
            for (int i = 0; i + 1 < d; ++i) {
                const Pos& pos = grids[static_cast<std::size_t>(i)][box.lo[static_cast<std::size_t>(i)]];
                place(i, pos, bx, be);
                entry.at[static_cast<std::size_t>(i)] = pos;
                if (!add_segments(eq, i, bx, be))
                    return;
            }
            (this->*m_innermost)(grids, tail, d - 1, box.lo[static_cast<std::size_t>(d - 1)],
                                 box.hi[static_cast<std::size_t>(d - 1)] + 1, eq, m_solver.floor(eq), bx,
                                 be, entry, best);
        };
        const Order order = order_of(grids);
        const Box all = whole(grids);
        std::vector<Box> rest{all};
        if (!m_problem.starts.empty() && m_problem.starts[0].size() == static_cast<std::size_t>(d)) {
            // The seed: a few positions a side of the start's, a few hundred tuples.
            const std::uint32_t reach = d == 3 ? 3 : 2;
            Box seed = all;
            for (std::size_t i = 0; i < static_cast<std::size_t>(d); ++i) {
                const auto near = static_cast<std::uint32_t>(
                    index_of(grids[i], m_sums.scaled(m_problem.starts[0][i]), false));
                seed.lo[i] = near > reach ? near - reach : 0;
                seed.hi[i] = std::min(near + reach, all.hi[i]);
            }
            rest = outside(all, seed, d);
            Box run = seed;
            const auto each = [&](const auto& self, std::size_t i) -> void {
                if (i + 1 == static_cast<std::size_t>(d)) {
                    Box one = run;
                    if (tighten(order, one, d))
                        solve(one);
                    return;
                }
                for (std::uint32_t j = seed.lo[i]; j <= seed.hi[i]; ++j) {
                    run.lo[i] = run.hi[i] = j;
                    self(self, i + 1);
                }
            };
            each(each, 0);
        }
        // Rounding of a floor's relaxed sums must not drop a box that holds a kept tuple.
        const double slack = 1e-12 * m_sums.yy;
        if (!split_boxes(grids, order, rest, [&] { return best.worst() * (1.0 + 1e-9) + slack; }, solve, stopped))
            return std::nullopt;
        return best;
    }

    bool stopped_now() const { return stopped(); }

    double lower(int i) const { return m_lower[static_cast<std::size_t>(i)]; }
    double upper(int i) const { return m_upper[static_cast<std::size_t>(i)]; }

    // The nearest break points in their ranges (or the box lo..hi) and in order; false when
    // none is left.
    bool feasible(double* p, const double* lo = nullptr, const double* hi = nullptr) const
    {
        double floor = 0.0;
        for (int i = 0; i < m_plan.d; ++i) {
            p[i] = std::max({p[i], lo ? lo[i] : lower(i), floor});
            if (!(p[i] <= (hi ? hi[i] : upper(i))))
                p[i] = hi ? hi[i] : upper(i);
            if (p[i] < floor)
                return false;
            floor = p[i];
        }
        return true;
    }

    // The descent's objective: the value at the nearest feasible break points, plus a pull back
    // towards them for steps outside.
    double penalised(std::span<const double> p, const double* lo = nullptr,
                     const double* hi = nullptr) const
    {
        std::array<double, kMaxMoved> q{};
        std::copy(p.begin(), p.end(), q.begin());
        if (!feasible(q.data(), lo, hi))
            return kInf;
        const double v = value(q.data());
        double outside = 0.0;
        for (std::size_t i = 0; i < p.size(); ++i)
            outside += (p[i] - q[i]) * (p[i] - q[i]);
        return v * (1.0 + outside * 1e3) + outside * 1e-3;
    }

private:
    std::vector<double> scaled_levels(const std::vector<double>& v) const
    {
        std::vector<double> out(v.size());
        for (std::size_t j = 0; j < v.size(); ++j)
            out[j] = std::isfinite(v[j]) ? m_sums.level_scaled(v[j]) : v[j];
        return out;
    }

    using Grids = std::vector<std::vector<Pos>>;

    // The least sum of the points right of the last loop's break point alone, at each of its
    // positions, and the running least of those from the left (a bound that only falls).
    struct Tails {
        std::vector<double> floor, reach;
        // The least floor over 2^k positions from each: a run's least tail at once.
        std::vector<std::vector<double>> least;
        double least_of(std::size_t lo, std::size_t hi) const
        {
            const auto k = static_cast<std::size_t>(std::bit_width(hi - lo) - 1);
            return std::min(least[k][lo], least[k][hi - (std::size_t{1} << k)]);
        }
        // When the tail shares a level with the points before the last loop (an event back to
        // its baseline): the tail's equations, for the bound of both sets of points together.
        bool shared = false;
        std::vector<Normal> sums;
        // The segment reaching the last loop's vertex, when runs of its positions are bounded at
        // once (run_floor): the vertex's level is seen by no point before that segment.
        std::optional<Step> run;
        // Else, when that segment's far level is seen before: its first vertex, whose segment
        // holds the points from there to the last loop's vertex on a line of their own.
        std::optional<int> line;
        // A midway x3 moving with the last loop's x4: the points right of it on a line.
        bool falling = false;
    };

    // The tails of the last loop's positions (the points right of its break point) beside the
    // points before it, whose fixed vertices are x and e and whose flats are summed in `base`.
    Tails tails(const Grids& grids, const Normal& base, const std::array<double, 7>& x,
                const std::array<std::uint32_t, 7>& e) const
    {
        const int d = m_plan.d;
        const auto& last = grids[static_cast<std::size_t>(d - 1)];
        Tails tail;
        tail.floor.assign(last.size(), 0.0);
        // Levels the points before the last loop see: the edges' flats, the earlier segments.
        std::array<bool, kMaxLevels> before{};
        const auto seen = [&](int level) -> bool& { return before[static_cast<std::size_t>(level)]; };
        for (int j = 0; j < m_plan.p; ++j)
            seen(j) = base.g[static_cast<std::size_t>(packed(j, j, m_plan.p))] > 0.0;
        for (int loop = 0; loop < d; ++loop)
            for (const Step& step : m_plan.segments[static_cast<std::size_t>(loop)])
                seen(step.a) = seen(step.b) = true;
        if (const auto reaching = run_segment(); reaching && (reaching->a == reaching->b || !seen(reaching->b)))
            tail.run = reaching;
        else if (reaching && !m_plan.midway)
            tail.line = reaching->k;
        tail.falling = m_plan.midway && m_plan.moved_at[4] == d - 1;
        for (const int k : m_plan.tail)
            for (const int j : {k, k + 1})
                tail.shared = tail.shared ||
                              (m_solver.chained() && seen(m_plan.level_of[static_cast<std::size_t>(j)]));
        if (tail.shared)
            tail.sums.reserve(last.size());
        for (std::size_t j = 0; j < last.size(); ++j) {
            std::array<double, 7> tx = x;
            std::array<std::uint32_t, 7> te = e;
            const auto vertex = static_cast<std::size_t>(m_problem.shape.moved[static_cast<std::size_t>(d - 1)]);
            tx[vertex] = last[j].x, te[vertex] = last[j].e;
            Normal eq;
            for (const int k : m_plan.tail) {
                const auto sk = static_cast<std::size_t>(k);
                if (tx[sk + 1] > tx[sk])
                    m_sums.add_segment(eq, te[sk], te[sk + 1], tx[sk], tx[sk + 1] - tx[sk],
                                       m_plan.level_of[sk], m_plan.level_of[sk + 1], m_plan.p);
            }
            tail.floor[j] = m_solver.floor(eq);
            if (tail.shared)
                tail.sums.push_back(eq);
        }
        tail.reach = tail.floor;
        for (std::size_t j = 1; j < last.size(); ++j)
            tail.reach[j] = std::min(tail.reach[j], tail.reach[j - 1]);
        if (!tail.run && !tail.line)
            return tail;  // no run is halved: innermost reads floor and reach alone
        tail.least.push_back(tail.floor);
        for (std::size_t width = 2; width <= last.size(); width *= 2) {
            const std::vector<double>& half = tail.least.back();
            std::vector<double> next(last.size() - width + 1);
            for (std::size_t j = 0; j < next.size(); ++j)
                next[j] = std::min(half[j], half[j + width / 2]);
            tail.least.push_back(std::move(next));
        }
        return tail;
    }

    // Positions lo..hi of each break point's grid, and a floor of the sum of squares of every
    // tuple of them (and of every break point between them).
    struct Box {
        double floor = 0.0;
        std::array<std::uint32_t, kMaxMoved> lo{}, hi{};
    };

    Box whole(const Grids& grids) const
    {
        Box all;
        for (std::size_t i = 0; i < static_cast<std::size_t>(m_plan.d); ++i)
            all.hi[i] = static_cast<std::uint32_t>(grids[i].size() - 1);
        return all;
    }

    // The first position at or right of x (`after`: right of x).
    static std::size_t index_of(const std::vector<Pos>& g, double x, bool after)
    {
        const auto it = after ? std::upper_bound(g.begin(), g.end(), x, [](double v, const Pos& a) { return v < a.x; })
                              : std::lower_bound(g.begin(), g.end(), x, [](const Pos& a, double v) { return a.x < v; });
        return static_cast<std::size_t>(it - g.begin());
    }

    // `all` less `inner` (within it), as disjoint boxes.
    static std::vector<Box> outside(Box all, const Box& inner, int d)
    {
        std::vector<Box> parts;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d); ++i) {
            if (all.lo[i] < inner.lo[i]) {
                parts.push_back(all);
                parts.back().hi[i] = inner.lo[i] - 1;
                all.lo[i] = inner.lo[i];
            }
            if (all.hi[i] > inner.hi[i]) {
                parts.push_back(all);
                parts.back().lo[i] = inner.hi[i] + 1;
                all.hi[i] = inner.hi[i];
            }
        }
        return parts;
    }

    // For each position of a break point, the first position of the next one at or right of it
    // (`from`) and the last of the one before at or left of it, plus one (`to`).
    struct Order {
        std::array<std::vector<std::uint32_t>, kMaxMoved> from, to;
    };

    static Order order_of(const Grids& grids)
    {
        Order order;
        for (std::size_t i = 0; i + 1 < grids.size(); ++i) {
            const auto& g = grids[i];
            const auto& next = grids[i + 1];
            for (const Pos& at : g)
                order.from[i].push_back(static_cast<std::uint32_t>(index_of(next, at.x, false)));
            for (const Pos& at : next)
                order.to[i + 1].push_back(static_cast<std::uint32_t>(index_of(g, at.x, true)));
        }
        return order;
    }

    // The box narrowed to the positions of an increasing tuple; false when none is left.
    static bool tighten(const Order& order, Box& box, int d)
    {
        for (std::size_t i = 1; i < static_cast<std::size_t>(d); ++i) {
            box.lo[i] = std::max(box.lo[i], order.from[i - 1][box.lo[i - 1]]);
            if (box.lo[i] > box.hi[i])  // before it indexes the next: no position of i is left
                return false;
        }
        for (std::size_t i = static_cast<std::size_t>(d) - 1; i-- > 0;) {
            const std::uint32_t end = order.to[i + 1][box.hi[i + 1]];
            if (end == 0)
                return false;
            box.hi[i] = std::min(box.hi[i], end - 1);
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(d); ++i)
            if (box.lo[i] > box.hi[i])
                return false;
        return true;
    }

    // Splits `boxes` best first (the lowest floor first), each in halves of its widest range,
    // dropping a box whose floor lies above limit(), until every break point but the last sits
    // at one position and the last at fewer than kSolvedRun: then leaf(box). False once more
    // than kBoxBudget floors were told.
    template <typename Limit, typename Leaf>
    bool split_boxes(const Grids& grids, const Order& order, const std::vector<Box>& boxes,
                     const Limit& limit, const Leaf& leaf, bool& stopped) const
    {
        const int d = m_plan.d;
        std::size_t floors = 0;
        const auto later = [](const Box& a, const Box& b) { return a.floor > b.floor; };
        std::vector<Box> heap;
        const auto push = [&](Box box) {
            if (!tighten(order, box, d))
                return;
            ++floors;
            box.floor = box_floor(grids, box, kBoxDepth, limit());
            if (box.floor > limit())
                return;
            heap.push_back(box);
            std::push_heap(heap.begin(), heap.end(), later);
        };
        for (const Box& box : boxes)
            push(box);
        while (!heap.empty()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            const Box box = heap.back();
            heap.pop_back();
            if (box.floor > limit())
                continue;  // the limit fell below it since
            if (stopped_now()) {
                stopped = true;
                return true;
            }
            if (floors > kBoxBudget)
                return false;
            int widest = -1;
            std::uint32_t most = 0;
            for (int i = 0; i < d; ++i) {
                const auto si = static_cast<std::size_t>(i);
                const std::uint32_t width = box.hi[si] - box.lo[si];
                if (width >= (i + 1 < d ? 1 : kSolvedRun) && width > most)
                    widest = i, most = width;
            }
            if (widest < 0) {
                leaf(box);
                continue;
            }
            const auto si = static_cast<std::size_t>(widest);
            Box left = box, right = box;
            left.hi[si] = box.lo[si] + most / 2;
            right.lo[si] = left.hi[si] + 1;
            push(left);
            push(right);
        }
        return true;
    }

    // The unambiguous points of a segment in a box, on a line of their own through its
    // vertices' levels, each vertex fixed (equal ends of its range) or moving within its range:
    // exact when both are fixed, pivoting about the fixed one's level with a free slope, or free.
    struct Piece {
        std::uint32_t from = 0, to = 0;
        int a = 0, b = 0;                        // levels of its left and right vertices
        std::array<double, 2> left{}, right{};   // the vertices' ranges
        Normal part;                             // its share of the levels' equations
        double alone = 0.0;                      // a free line's least sum
        double x0 = 0.0, inv = 1.0;              // its points' a = (t - x0) * inv
        Sums::Moments m;
        double c0 = 0.0, c1 = 0.0;               // a free line, c0 + c1 a
        bool pins = false;                       // a free line that tells where it meets a level
    };

    // The piece's share for its ends as they are.
    void shape(Piece& r) const
    {
        const int p = m_plan.p;
        const auto& ts = m_sums.ts;
        // The levels' entries alone: the rest stay 0 from the piece's making (clearing a whole
        // Normal took a fifth of the time of shaping a piece, the box floors' busiest step).
        std::fill_n(r.part.g.begin(), p * (p + 1) / 2, 0.0);
        std::fill_n(r.part.b.begin(), p, 0.0);
        r.part.yy = 0.0;
        r.alone = 0.0;
        r.pins = false;
        const bool left = r.left[0] == r.left[1], right = r.right[0] == r.right[1];
        if (left && right) {
            if (r.right[0] > r.left[0])
                m_sums.add_segment(r.part, r.from, r.to, r.left[0], r.right[0] - r.left[0], r.a, r.b, p);
            return;
        }
        if (left || right) {
            const int level = left ? r.a : r.b;
            r.x0 = left ? r.left[0] : r.right[0];
            const double reach = std::max(std::abs(ts[r.from] - r.x0), std::abs(ts[r.to - 1] - r.x0));
            r.inv = reach > 0.0 ? 1.0 / reach : 1.0;
            r.m = m_sums.moments(r.from, r.to, r.x0, r.inv);
            const Sums::Moments& s = r.m;
            if (!(s.saa > 0.0))
                return m_sums.add_flat(r.part, r.from, r.to, level, p);  // every point at x0
            r.part.g[static_cast<std::size_t>(packed(level, level, p))] = std::max(s.s0 - s.sa * s.sa / s.saa, 0.0);
            r.part.b[static_cast<std::size_t>(level)] = s.sy - s.sa * s.say / s.saa;
            r.part.yy = s.syy - s.say * s.say / s.saa;
            return;
        }
        r.x0 = ts[r.from];
        const double width = ts[r.to - 1] - r.x0;
        r.inv = width > 0.0 ? 1.0 / width : 1.0;
        r.m = m_sums.moments(r.from, r.to, r.x0, r.inv);
        const Sums::Moments& s = r.m;
        if (const auto line = Sums::free_line(s, r.to - r.from)) {
            r.pins = true;
            r.c0 = line->c0, r.c1 = line->c1, r.alone = line->rest;
        } else if (!(width > 0.0)) {
            r.alone = std::max(s.syy - s.sy * s.sy / s.s0, 0.0);
        }
    }

    // The piece's line at x for levels v; NaN where it is not told.
    static double line_at(const Piece& r, const double* v, double x)
    {
        const bool left = r.left[0] == r.left[1], right = r.right[0] == r.right[1];
        if (!left && !right)
            return r.pins ? r.c0 + r.c1 * (x - r.x0) * r.inv : std::numeric_limits<double>::quiet_NaN();
        if (!(r.m.saa > 0.0))
            return std::numeric_limits<double>::quiet_NaN();
        const double at = v[left ? r.a : r.b];
        return at + (r.m.say - at * r.m.sa) / r.m.saa * (x - r.x0) * r.inv;
    }

    // The least relaxed sum of squares of `exact` and the pieces. A line must meet each moving
    // vertex's level within that vertex's range (two pieces sharing a level no other point sees:
    // cross within it). Where the least breaks that, the least over the pieces that keep it lies
    // with that vertex at an end of its range: both ends are tried, `depth` times over.
    // Once the floor lies above `limit` it is returned as it is.
    double relaxed(const Normal& exact, std::array<Piece, 6>& pieces, std::size_t count, int depth,
                   double limit) const
    {
        Normal eq = exact;
        double apart = 0.0;
        for (std::size_t j = 0; j < count; ++j) {
            add_normal(eq, pieces[j].part);
            apart += pieces[j].alone;
        }
        std::array<double, kMaxLevels> v{};
        const double least = m_solver.floor(eq, depth > 0 ? v.data() : nullptr) + apart;
        if (depth == 0 || least > limit)
            return least;
        double floor = least;
        // The least with the vertex at either end of its range (its end of piece j, or of j and
        // k = j + 1 together), the pieces restored after.
        const auto either = [&](std::size_t j, std::size_t k, double x0, double x1) {
            const Piece pj = pieces[j], pk = pieces[k];
            double lower = kInf;
            for (const double x : {x0, x1}) {
                if (!(lower > floor))
                    break;  // the least of both cannot raise the floor
                if (k != j)
                    pieces[j].right = {x, x}, pieces[k].left = {x, x}, shape(pieces[k]);
                else if (pj.left[0] != pj.left[1] && pj.left == std::array<double, 2>{x0, x1})
                    pieces[j].left = {x, x};
                else
                    pieces[j].right = {x, x};
                shape(pieces[j]);
                lower = std::min(lower, relaxed(exact, pieces, count, depth - 1, limit));
                pieces[j] = pj, pieces[k] = pk;
            }
            return lower;
        };
        for (std::size_t j = 0; j < count && !(floor > limit); ++j) {
            for (const bool right : {false, true}) {
                const Piece& r = pieces[j];
                const std::array<double, 2> range = right ? r.right : r.left;
                if (range[0] == range[1])
                    continue;
                const double at = v[static_cast<std::size_t>(right ? r.b : r.a)];
                const double d0 = line_at(r, v.data(), range[0]), d1 = line_at(r, v.data(), range[1]);
                if (std::isfinite(at)) {
                    if ((d0 - at) * (d1 - at) > 0.0)
                        floor = std::max(floor, either(j, j, range[0], range[1]));
                    continue;
                }
                if (!right || j + 1 == count || pieces[j + 1].left != range || pieces[j + 1].from < r.to)
                    continue;
                const double e0 = line_at(pieces[j + 1], v.data(), range[0]);
                const double e1 = line_at(pieces[j + 1], v.data(), range[1]);
                if ((d0 - e0) * (d1 - e1) > 0.0)
                    floor = std::max(floor, either(j, j + 1, range[0], range[1]));
            }
        }
        return floor;
    }

    // At most every tuple's sum of squares in `box` (and every break point between its corners):
    // the points whose segment the box leaves unambiguous, on their segments relaxed (relaxed()),
    // the points around a moving vertex left out. Told no closer than needed to pass `limit`.
    double box_floor(const Grids& grids, const Box& box, int depth, double limit) const
    {
        const int last = m_plan.last, p = m_plan.p;
        std::array<Pos, 7> lo{}, hi{};
        lo[1] = hi[1] = {0.0, m_left_count, 0};
        lo[static_cast<std::size_t>(last)] = hi[static_cast<std::size_t>(last)] = {1.0, m_right_count, 0};
        for (int i = 0; i < m_plan.d; ++i) {
            const auto si = static_cast<std::size_t>(i);
            const auto k = static_cast<std::size_t>(m_problem.shape.moved[si]);
            lo[k] = grids[si][box.lo[si]], hi[k] = grids[si][box.hi[si]];
        }
        const auto& of = m_plan.level_of;
        Normal exact;
        m_sums.add_flat(exact, 0, lo[1].e, of[1], p);
        m_sums.add_flat(exact, hi[static_cast<std::size_t>(last)].e,
                        static_cast<std::uint32_t>(m_sums.ts.size()), of[static_cast<std::size_t>(last)], p);
        std::array<Piece, 6> pieces;
        std::size_t count = 0;
        for (std::size_t k = 1; k < static_cast<std::size_t>(last); ++k) {
            const bool left = lo[k].x == hi[k].x, right = lo[k + 1].x == hi[k + 1].x;
            // Points at a moving vertex's right end lie on either side alike (the model is
            // continuous there while its neighbours keep apart): counted right of it.
            const bool apart = !left && hi[k].x < lo[k + 1].x && hi[k - 1].x < hi[k].x;
            const std::uint32_t from = apart ? m_sums.before(hi[k]) : hi[k].e, to = lo[k + 1].e;
            if (from >= to)
                continue;
            if (of[k] == of[k + 1]) {
                m_sums.add_flat(exact, from, to, of[k], p);
                continue;
            }
            if (left && right) {
                m_sums.add_segment(exact, from, to, lo[k].x, lo[k + 1].x - lo[k].x, of[k], of[k + 1], p);
                continue;
            }
            Piece& r = pieces[count++];
            r.from = from, r.to = to, r.a = of[k], r.b = of[k + 1];
            r.left = {lo[k].x, hi[k].x}, r.right = {lo[k + 1].x, hi[k + 1].x};
            shape(r);
        }
        return relaxed(exact, pieces, count, depth, limit);
    }

    static void add_normal(Normal& to, const Normal& part)
    {
        for (std::size_t k = 0; k < to.g.size(); ++k)
            to.g[k] += part.g[k];
        for (std::size_t j = 0; j < to.b.size(); ++j)
            to.b[j] += part.b[j];
        to.yy += part.yy;
    }

    // Loop `level` at position i of its grid below `parent`, whose points alone sum to at
    // least `floor`.
    void loop(const Grids& grids, const Tails& tail, int level, std::size_t i,
              const Normal& parent, double floor, std::array<double, 7>& x,
              std::array<std::uint32_t, 7>& e, Entry& entry, Best& best) const
    {
        if (level >= kMaxMoved)
            return;
        if (level + 1 == m_plan.d)
            return (this->*m_innermost)(grids, tail, level, i, i + 1, parent, floor, x, e, entry, best);
        const Pos& pos = grids[static_cast<std::size_t>(level)][i];
        if (!place(level, pos, x, e))
            return;
        entry.at[static_cast<std::size_t>(level)] = pos;
        Normal eq = parent;
        if (!add_segments(eq, level, x, e))
            return;
        const double below = m_solver.floor(eq);
        if (below > best.worst() * (1.0 + 1e-9))
            return;
        const auto& inner = grids[static_cast<std::size_t>(level + 1)];
        const auto from = static_cast<std::size_t>(
            std::lower_bound(inner.begin(), inner.end(), pos.x,
                             [](const Pos& a, double v) { return a.x < v; }) -
            inner.begin());
        if (level + 2 == m_plan.d)
            return (this->*m_innermost)(grids, tail, level + 1, from, inner.size(), eq, below, x, e,
                                        entry, best);
        for (std::size_t j = from; j < inner.size(); ++j)
            loop(grids, tail, level + 1, j, eq, below, x, e, entry, best);
    }

    // Sets the vertex loop `level` moves to `pos` (and x3 midway after it); false past the
    // loops there are.
    bool place(int level, const Pos& pos, std::array<double, 7>& x, std::array<std::uint32_t, 7>& e) const
    {
        if (level >= kMaxMoved)
            return false;
        const auto vertex = static_cast<std::size_t>(m_problem.shape.moved[static_cast<std::size_t>(level)]);
        x[vertex] = pos.x;
        e[vertex] = pos.e;
        if (m_plan.midway && m_plan.moved_at[3] == level) {
            x[3] = 0.5 * (x[2] + x[4]);  // between them: only their points are searched
            const auto& ts = m_sums.ts;
            const std::uint32_t lo = std::min(e[2], e[4]), hi = std::max(e[2], e[4]);
            // From its last count on: the innermost loop moves x3 right by half a step at a time.
            std::uint32_t at = std::clamp(e[3], lo, hi);
            if (at > lo && ts[at - 1] > x[3])
                at = static_cast<std::uint32_t>(
                    std::upper_bound(ts.begin() + lo, ts.begin() + at, x[3]) - ts.begin());
            else
                while (at < hi && ts[at] <= x[3])
                    ++at;
            e[3] = at;
        }
        return true;
    }

    // The innermost loop `level` over positions from..to-1 of its grid below `parent` (whose
    // points alone sum to at least `floor`): every tuple solved, for P levels, in one tight loop.
    template <int P, bool Chain>
    void innermost(const Grids& grids, const Tails& tail, int level, std::size_t from,
                   std::size_t to, const Normal& parent, double floor, std::array<double, 7>& x,
                   std::array<std::uint32_t, 7>& e, Entry& entry, Best& best) const
    {
        const auto& grid = grids[static_cast<std::size_t>(level)];
        // The positions whose tail alone already sums above the best kept, at once: the running
        // least of the tails falls, so those it rules out come first.
        const double room = best.worst() * (1.0 + 1e-9) - floor;
        from = static_cast<std::size_t>(
            std::partition_point(tail.reach.begin() + static_cast<std::ptrdiff_t>(from),
                                 tail.reach.begin() + static_cast<std::ptrdiff_t>(to),
                                 [&](double r) { return r > room; }) -
            tail.reach.begin());
        Levels<P> top;
        std::copy_n(parent.g.begin(), top.g.size(), top.g.begin());
        std::copy_n(parent.b.begin(), top.b.size(), top.b.begin());
        top.yy = parent.yy;
        // Runs of positions halved until a few are left, each dropped at once when its points
        // up to its first position (run_floor), those one segment holds (line_floor, dearer
        // than the tails, so told after them) and past each position (its tail) alone sum
        // above the best kept. `reach`: a floor of the points up to a position at or left of
        // the run's first (`own`: that one), which holds for each of its tuples; `line`: the
        // line_floor of a run holding this one, which holds for it too.
        const auto visit = [&](const auto& self, std::size_t lo, std::size_t hi, double reach,
                               double line, bool own) -> void {
            if ((tail.run || tail.line) && hi - lo >= (m_plan.midway ? kMidwayRun : kSolvedRun)) {
                const double tails = tail.least_of(lo, hi);
                const double limit = best.worst() * (1.0 + 1e-9);
                if (reach + line + tails > limit)
                    return;
                // With tail.line a first half's is its run's (the same first position).
                if ((tail.line && !own) || tail.falling) {
                    line = std::max(line, line_floor(tail, x, e, grid[lo], grid[hi - 1]));
                    if (reach + line + tails > limit)
                        return;
                }
                if (!own && tail.run) {
                    reach = std::max(reach, run_floor<P, Chain>(top, *tail.run, x, e, grid[lo]));
                    if (reach + line + tails > limit)
                        return;
                }
                const std::size_t mid = lo + (hi - lo) / 2;
                self(self, lo, mid, reach, line, true);
                self(self, mid, hi, reach, line, false);
                return;
            }
            solve_run<P, Chain>(grid, tail, level, lo, hi, top, reach + line, x, e, entry, best);
        };
        visit(visit, from, to, floor, 0.0, false);
    }

    // Every tuple of positions from..to-1 of the innermost loop below `top` solved, but those a
    // floor rules out (`floor`: of the points up to a position at or left of `from`).
    template <int P, bool Chain>
    void solve_run(const std::vector<Pos>& grid, const Tails& tail, int level, std::size_t from,
                   std::size_t to, const Levels<P>& top, double floor, std::array<double, 7>& x,
                   std::array<std::uint32_t, 7>& e, Entry& entry, Best& best) const
    {
        for (std::size_t i = from; i < to; ++i) {
            if (floor + tail.floor[i] > best.worst() * (1.0 + 1e-9))
                continue;
            // The tail and the points before it together, where they share a level: for a
            // chain, whose solve costs little beside a tuple's sums (elsewhere, measured, it
            // costs more than it saves).
            if constexpr (Chain)
                if (tail.shared && LevelSolver::joint_floor(top, tail.sums[i]) > best.worst() * (1.0 + 1e-9))
                    continue;
            const Pos& pos = grid[i];
            if (!place(level, pos, x, e))
                return;
            entry.at[static_cast<std::size_t>(level)] = pos;
            Levels<P> eq = top;
            if (!add_segments(eq, level, x, e))
                continue;
            entry.value = m_solver.solve_as<P, Chain>(eq, m_sums.yy);
            if (entry.value <= best.worst())
                best.offer(entry);
        }
    }

    // The segment from the vertex before the last loop's to it (a fixed one, or the loop
    // before's). With a midway x3 that moves with the last loop's x4: the segment from x2 (set
    // before) to x3, which reaches at least halfway to the run's first x4.
    std::optional<Step> run_segment() const
    {
        const int v = m_plan.d > 0 ? m_problem.shape.moved[static_cast<std::size_t>(m_plan.d - 1)] : 0;
        const auto& of = m_plan.level_of;
        if (m_plan.midway) {
            if (v != 4 || m_plan.moved_at[2] == m_plan.d - 1)
                return std::nullopt;
            return step_of(2, of[2], of[3], m_plan.p);
        }
        if (v < 2)
            return std::nullopt;
        return step_of(v - 1, of[static_cast<std::size_t>(v - 1)], of[static_cast<std::size_t>(v)], m_plan.p);
    }

    // A floor of every tuple below `top` whose last break point lies at or right of `at`: the
    // points of `top`, and those after the vertex before it up to `at`, on `step` from that
    // vertex to `at` with its far level free (as the last vertex's level, which no point sees
    // before, is: each tuple gives the segment's points the line through their vertex and the
    // value its own segment takes at `at`). A midway x3's segment: up to halfway to `at`.
    template <int P, bool Chain>
    double run_floor(Levels<P> top, const Step& step, const std::array<double, 7>& x,
                     const std::array<std::uint32_t, 7>& e, const Pos& at) const
    {
        const auto k = static_cast<std::size_t>(step.k);
        const double to = m_plan.midway ? 0.5 * (x[k] + at.x) : at.x;
        const std::uint32_t upto = m_plan.midway ? m_sums.count_upto(to) : at.e;
        if (to > x[k] && upto > e[k])
            m_sums.add_segment(top, e[k], upto, x[k], to - x[k], step);
        return LevelSolver::seen_floor<P, Chain>(top);
    }

    // A floor of the points every tuple whose last break point lies from `first` to `last` puts
    // on one segment, up to `first`, on a line of their own (apart from the points `top`'s
    // floor holds): with a midway x3, those on the falling segment, right of x3 however far x4
    // goes; with tail.line, those from its vertex on. 0 elsewhere.
    double line_floor(const Tails& tail, const std::array<double, 7>& x,
                      const std::array<std::uint32_t, 7>& e, const Pos& first, const Pos& last) const
    {
        std::uint32_t from = 0;
        if (tail.falling)
            from = m_sums.count_upto(0.5 * (x[2] + last.x));
        else if (tail.line)
            from = e[static_cast<std::size_t>(*tail.line)];
        else
            return 0.0;
        if (from + 2 >= first.e)
            return 0.0;
        const auto line = Sums::free_line(m_sums.moments(from, first.e, first.x, 1.0), first.e - from);
        return line ? line->rest : 0.0;
    }

    using Innermost = void (Search::*)(const Grids&, const Tails&, int, std::size_t,
                                       std::size_t, const Normal&, double, std::array<double, 7>&,
                                       std::array<std::uint32_t, 7>&, Entry&, Best&) const;

    const OptimumProblem& m_problem;
    Sums m_sums;
    Plan m_plan;
    LevelSolver m_solver;
    std::vector<double> m_lower, m_upper;  // scaled
    std::uint32_t m_left_count = 0, m_right_count = 0;  // points at or left of the edges
    Innermost m_innermost = nullptr;                     // innermost<P, Chain> of m_solver's
    bool m_boxes = false;  // three or more break points on consecutive vertices: branch and bound
};

// Positions of break point i: the distinct t at every `step`-th index from `from` to `to`
// within its range, its range's ends, and `extra`.
std::vector<Pos> grid_of(const Search& s, int i, std::size_t from, std::size_t to, std::size_t step,
                         const std::vector<Pos>& extra)
{
    const Sums& sums = s.sums();
    std::vector<Pos> g;
    for (std::size_t u = from; u <= to && u < sums.distinct.size(); u += step) {
        const double x = sums.distinct[u];
        if (x >= s.lower(i) && x <= s.upper(i))
            g.push_back(sums.distinct_at(u));
    }
    for (double end : {s.lower(i), s.upper(i)})
        g.push_back(sums.at(end));
    for (const Pos& p : extra)
        if (p.x >= s.lower(i) && p.x <= s.upper(i))
            g.push_back(p);
    std::sort(g.begin(), g.end(), [](const Pos& a, const Pos& b) { return a.x < b.x; });
    g.erase(std::unique(g.begin(), g.end(), [](const Pos& a, const Pos& b) { return a.x == b.x; }),
            g.end());
    return g;
}

// Increasing tuples of grids with `sizes` positions per loop, roughly.
double tuples_of(const std::vector<double>& sizes)
{
    double count = 1.0, factorial = 1.0;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        count *= sizes[i], factorial *= static_cast<double>(i + 1);
    return count / factorial;
}

// The best entries, each at least `apart` distinct t from every earlier one in some break point.
std::vector<Entry> separated(const std::vector<Entry>& list, int d, std::size_t apart, std::size_t count)
{
    std::vector<Entry> out;
    for (const Entry& e : list) {
        if (out.size() == count || !std::isfinite(e.value))
            break;
        const bool near = std::any_of(out.begin(), out.end(), [&](const Entry& o) {
            for (int i = 0; i < d; ++i) {
                const auto a = e.at[static_cast<std::size_t>(i)].u, b = o.at[static_cast<std::size_t>(i)].u;
                if ((a > b ? a - b : b - a) > apart)
                    return false;
            }
            return true;
        });
        if (!near)
            out.push_back(e);
    }
    return out;
}

// Exhaustive passes stay under these counts of tuples; beyond them a grid refined coarse to fine.
// Searched by boxes, three and four break points stay exhaustive up to about 400 distinct t:
// beyond, on noisy series whose sums vary little from tuple to tuple, the floors drop too few.
double exhaustive_budget(int d, bool boxes)
{
    if (boxes)
        return d == 3 ? 1.1e7 : 1.1e9;
    return d <= 1 ? 4e6 : d == 2 ? 4.5e6 : 3e5;
}
double coarse_budget(int d)
{
    return d <= 1 ? 2e5 : d == 2 ? 1e6 : 2e5;
}
// Positions per break point of a refining pass (its product stays near 4,000).
std::size_t refine_positions(int d)
{
    return d <= 1 ? 4096 : d == 2 ? 64 : d == 3 ? 16 : 8;
}

}  // namespace

double profiled_sq_dist(const OptimumProblem& problem, const std::vector<double>& moved)
{
    if (!(problem.right > problem.left) || problem.t.empty())
        return kInf;
    const Search search(problem);
    std::array<double, kMaxMoved> p{};
    for (std::size_t i = 0; i < moved.size() && i < p.size(); ++i)
        p[i] = search.sums().scaled(moved[i]);
    return search.sums().sq_unscaled(search.value(p.data()));
}

std::vector<double> profiled_levels(const OptimumProblem& problem, const std::vector<double>& moved)
{
    if (!(problem.right > problem.left) || problem.t.empty() || problem.shape.levels() == 0 ||
        problem.shape.levels() > kMaxLevels)
        return {};
    const Search search(problem);
    std::array<double, kMaxMoved> p{};
    for (std::size_t i = 0; i < moved.size() && i < p.size(); ++i)
        p[i] = search.sums().scaled(moved[i]);
    std::vector<double> levels(problem.shape.levels());
    if (!std::isfinite(search.value(p.data(), levels.data())))
        return {};
    for (double& v : levels)
        v = search.sums().level_unscaled(v);
    return levels;
}

OptimumResult global_optimum(const OptimumProblem& problem)
{
    OptimumResult result;
    const int d = static_cast<int>(problem.shape.moved.size());
    if (!(problem.right > problem.left) || problem.t.empty() || d > kMaxMoved ||
        problem.shape.levels() == 0 || problem.shape.levels() > kMaxLevels)
        return result;
    const Search search(problem);
    const Sums& sums = search.sums();
    const std::size_t m = sums.distinct.size();

    // Distinct t in each break point's range decide between every corner and a coarse grid.
    std::vector<double> sizes;
    for (int i = 0; i < d; ++i) {
        const auto lo = std::lower_bound(sums.distinct.begin(), sums.distinct.end(), search.lower(i));
        const auto hi = std::upper_bound(sums.distinct.begin(), sums.distinct.end(), search.upper(i));
        sizes.push_back(static_cast<double>(hi - lo) + 2.0);
    }
    std::size_t step = 1;
    const double share = std::clamp(problem.first_pass, 1e-6, 1.0);
    result.exhaustive = !problem.local && tuples_of(sizes) <= share * exhaustive_budget(d, search.by_boxes());
    std::vector<std::vector<Pos>> grids;
    Best best(d);
    // A pass by boxes whose floors narrow too little (a noisy series, whose sums vary little
    // from tuple to tuple) gives way to the grid.
    for (bool again = true; again;) {
        again = false;
        if (!result.exhaustive && !problem.local) {
            const double shrink =
                std::pow(tuples_of(sizes) / (share * coarse_budget(d)), 1.0 / std::max(d, 1));
            step = static_cast<std::size_t>(std::ceil(shrink));
        }
        result.grid = m / step;
        grids.clear();
        for (int i = 0; i < d; ++i)
            grids.push_back(grid_of(search, i, 0, m, step, {}));
        if (problem.local)
            break;
        if (!result.exhaustive || !search.by_boxes()) {
            best = search.enumerate(grids, result.stopped);
        } else if (std::optional<Best> boxed =
                       problem.grid_first ? std::nullopt : search.best_by_boxes(grids, result.stopped)) {
            best = std::move(*boxed);
        } else {
            result.exhaustive = false;
            result.gave_way = true;
            again = true;
        }
    }

    if (problem.corners) {
        const std::vector<Entry>& list = best.list();
        if (!list.empty() && std::isfinite(list.front().value)) {
            Minimum corner{{}, sums.sq_unscaled(list.front().value)};
            for (int i = 0; i < d; ++i)
                corner.moved.push_back(sums.unscaled(list.front().at[static_cast<std::size_t>(i)].x));
            result.minima.push_back(std::move(corner));
        }
        return result;
    }

    // Coarse to fine: around each separated basin, positions `step` apart shrink to adjacent t.
    const std::size_t basins = problem.basins ? problem.basins : kBasins;
    std::vector<Entry> cells = separated(best.list(), d, 2 * step, basins);
    while (step > 1 && !result.stopped) {
        const std::size_t q = refine_positions(d);
        const std::size_t finer = std::max<std::size_t>(1, (4 * step + q - 1) / q);
        Best next(d);
        for (const Entry& cell : cells) {
            std::vector<std::vector<Pos>> local;
            for (int i = 0; i < d; ++i) {
                const Pos& at = cell.at[static_cast<std::size_t>(i)];
                const std::size_t from = at.u > 2 * step ? at.u - 2 * step : 0;
                local.push_back(grid_of(search, i, from, at.u + 2 * step, finer, {at}));
            }
            next.merge(search.enumerate(local, result.stopped, next.worst()));
        }
        step = finer;
        cells = separated(next.list(), d, 2 * step, basins);
        best = std::move(next);
    }

    // The exact optimum inside every cell around the best corners (the sum of squares is
    // smooth within a cell, not across its edges), and near each other basin's best corner.
    std::vector<Minimum> ends;
    const auto descend_from = [&](std::vector<double> start, double first_step) {
        const Minimum end = descend([&](std::span<const double> p) { return search.penalised(p); },
                                    std::move(start), first_step, 1e-9, problem.stop);
        std::vector<double> p = end.moved;
        if (d > 0 && !search.feasible(p.data()))
            return;
        ends.push_back({p, search.value(p.data())});
    };
    using Cell = std::array<double, 2 * kMaxMoved>;  // lower sides, then upper sides
    struct Reached {
        Cell box;
        std::vector<double> share;  // where in the cell, in units of its sides
        Minimum end;
    };
    std::vector<Reached> reached;  // every cell's end
    // The least value within a cell from break points `from` (its middle when empty), by Newton
    // steps where the cell is smooth and a simplex on from where they stalled (a kink of the
    // midway vertex). A break point whose interval the one before it shares is taken as a share
    // of the room between that one and its interval's end, so that the order holds smoothly.
    const auto descend_in = [&](const Cell& box, const std::vector<double>& from) {
        const double* lo = box.data();
        const double* hi = box.data() + kMaxMoved;
        const auto base = [&](const std::array<double, kMaxMoved>& p, std::size_t i) {
            return i > 0 && lo[i] < hi[i - 1] ? std::max(lo[i], p[i - 1]) : lo[i];
        };
        const auto at = [&](std::span<const double> s) {
            std::array<double, kMaxMoved> p{};
            for (std::size_t i = 0; i < s.size(); ++i)
                p[i] = base(p, i) + s[i] * (hi[i] - base(p, i));
            return p;
        };
        std::vector<double> start(static_cast<std::size_t>(d), 0.5);
        if (!from.empty()) {
            std::array<double, kMaxMoved> p{};
            std::copy(from.begin(), from.end(), p.begin());
            for (std::size_t i = 0; i < start.size(); ++i)
                if (hi[i] > base(p, i))
                    start[i] = std::clamp((p[i] - base(p, i)) / (hi[i] - base(p, i)), 0.0, 1.0);
        }
        const Objective in_cell = [&](std::span<const double> s) {
            const auto p = at(s);
            return search.penalised(std::span(p).first(s.size()), lo, hi);
        };
        BoxMinimum end = newton_in_box(in_cell, std::move(start), problem.stop);
        if (!end.converged)
            end.at = descend(in_cell, end.at.moved, 0.1, 1e-6, problem.stop);
        const auto corner = at(end.at.moved);
        std::vector<double> p(corner.begin(), corner.begin() + d);
        if (search.feasible(p.data(), lo, hi)) {
            ends.push_back({p, search.value(p.data())});
            reached.push_back({box, end.at.moved, ends.back()});
        }
    };
    const auto neighbour = [&](double x, int i, int side) {
        const auto& t = sums.distinct;
        double v = x;
        if (side < 0) {
            const auto it = std::lower_bound(t.begin(), t.end(), x);
            v = it == t.begin() ? x : *(it - 1);
        } else {
            const auto it = std::upper_bound(t.begin(), t.end(), x);
            v = it == t.end() ? x : *it;
        }
        return std::clamp(v, search.lower(i), search.upper(i));
    };
    // Every cell with `corner` at a corner, each once.
    std::vector<Cell> boxes;
    const auto cells_around = [&](const Entry& corner) {
        for (int sides = 0; sides < (1 << d); ++sides) {
            Cell box{};
            bool empty = false;
            for (int i = 0; i < d; ++i) {
                const double x = corner.at[static_cast<std::size_t>(i)].x;
                const double other = neighbour(x, i, (sides >> i) & 1 ? 1 : -1);
                box[static_cast<std::size_t>(i)] = std::min(x, other);
                box[static_cast<std::size_t>(kMaxMoved + i)] = std::max(x, other);
                empty = empty || !(other != x);
                if (i > 0 && box[static_cast<std::size_t>(kMaxMoved + i)] < box[static_cast<std::size_t>(i - 1)])
                    empty = true;  // out of order
            }
            if (empty || std::find(boxes.begin(), boxes.end(), box) != boxes.end())
                continue;
            boxes.push_back(box);
            descend_in(box, {});
        }
    };
    const std::vector<Entry>& corners = best.list();
    result.corner = corners.empty() ? kInf : sums.sq_unscaled(corners.front().value);
    for (std::size_t c = 0; c < corners.size() && c < kCorners && step == 1 && d > 0; ++c)
        cells_around(corners[c]);
    // The other basins: after an exhaustive pass only the next best few, within the cells around
    // their corners (every corner was tried, so a lower point lies inside a cell); else
    // descended from, across cells.
    const double spacing = 2.0 / static_cast<double>(std::max<std::size_t>(m, 2));
    // Three or four break points: a cell can hold several minima (a wide one, a peak at the
    // crop's edge) and one lower than its corners, so beyond the cells around the best corners
    // the basins and the starts are descended from across cells, as after a grid. So are they
    // where no corner had a cell: a break point whose box leaves it no room has no cell beside
    // its one position, and the best corners would otherwise be lost with their cells.
    const bool within_cells = result.exhaustive && !search.by_boxes() && !boxes.empty();
    for (std::size_t c = boxes.empty() ? 0 : 1; c < cells.size() && (c < 4 || !within_cells); ++c) {
        const Entry& cell = cells[c];
        std::vector<double> p;
        for (int i = 0; i < d; ++i)
            p.push_back(cell.at[static_cast<std::size_t>(i)].x);
        if (d == 0)
            ends.push_back({p, cell.value});
        else if (within_cells)
            cells_around(cell);
        else
            descend_from(p, spacing);
    }
    const double found = ends.empty() ? kInf
                                      : std::min_element(ends.begin(), ends.end(), [](const auto& a, const auto& b) {
                                            return a.sq_dist < b.sq_dist;
                                        })->sq_dist;
    // The first start and the best few others (their basins may hold a narrow optimum that a
    // coarse grid stepped over), and any other start better than what was found.
    std::vector<std::pair<double, std::vector<double>>> starts;
    for (const auto& start : problem.starts) {
        if (static_cast<int>(start.size()) != d || d == 0)
            continue;
        std::vector<double> p;
        for (double v : start)
            p.push_back(sums.scaled(v));
        if (search.feasible(p.data()) && std::find_if(starts.begin(), starts.end(), [&](const auto& s) {
                                              return s.second == p;
                                          }) == starts.end())
            starts.emplace_back(search.value(p.data()), p);
    }
    if (starts.size() > 1)
        std::stable_sort(starts.begin() + 1, starts.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    // After an exhaustive pass a start's own cell holds a point at least as low as the start.
    const auto own_cell = [&](const std::vector<double>& p) {
        Cell box{};
        for (int i = 0; i < d; ++i) {
            const auto& t = sums.distinct;
            const auto it = std::upper_bound(t.begin(), t.end(), p[static_cast<std::size_t>(i)]);
            box[static_cast<std::size_t>(i)] =
                std::max(it == t.begin() ? search.lower(i) : *(it - 1), search.lower(i));
            box[static_cast<std::size_t>(kMaxMoved + i)] =
                std::min(it == t.end() ? search.upper(i) : *it, search.upper(i));
        }
        descend_in(box, p);
    };
    for (std::size_t i = 0; i < starts.size(); ++i) {
        if (result.exhaustive)
            own_cell(starts[i].second);
        if (starts[i].first < found || (!within_cells && i < kBasins))
            descend_from(starts[i].second, 0.05);
    }
    // Across a side: a cell whose least value lies on a side, below every corner tried, can fall
    // further in the cell beyond it (wide cells, as gaps in x make them). Followed cell to cell
    // while that goes on, a few dozen cells at most.
    const double lowest_corner = corners.empty() ? -kInf : corners.front().value;
    const std::size_t followed = boxes.size() + 16 * static_cast<std::size_t>(d);
    for (std::size_t k = 0; k < reached.size() && boxes.size() < followed && !search.stopped(); ++k) {
        const Reached from = reached[k];  // descend_in adds to reached
        if (!(from.end.sq_dist < lowest_corner))
            continue;
        for (int i = 0; i < d; ++i) {
            const auto si = static_cast<std::size_t>(i), hi = si + kMaxMoved;
            for (const double side : {0.0, 1.0}) {
                if (from.share[si] != side || (side == 0.0 && i > 0 && from.box[si] < from.box[hi - 1]))
                    continue;  // not on that side, or on the order the interval shares
                Cell next = from.box;
                const double edge = side == 0.0 ? from.box[si] : from.box[hi];
                const double beyond = neighbour(edge, i, side == 0.0 ? -1 : 1);
                next[si] = std::min(edge, beyond), next[hi] = std::max(edge, beyond);
                const bool ordered = (i == 0 || next[hi] >= next[si - 1]) &&
                                     (i + 1 == d || next[hi + 1] >= next[si]);
                if (!(beyond != edge) || !ordered || std::find(boxes.begin(), boxes.end(), next) != boxes.end())
                    continue;
                boxes.push_back(next);
                descend_in(next, from.end.moved);
            }
        }
    }
    std::stable_sort(ends.begin(), ends.end(),
                     [](const Minimum& a, const Minimum& b) { return a.sq_dist < b.sq_dist; });
    for (Minimum& end : ends) {
        if (!std::isfinite(end.sq_dist))
            continue;
        for (double& v : end.moved)
            v = sums.unscaled(v);
        end.sq_dist = sums.sq_unscaled(end.sq_dist);
        result.minima.push_back(std::move(end));
    }
    result.stopped = result.stopped || search.stopped();
    return result;
}

}  // namespace tolvenar::refine
