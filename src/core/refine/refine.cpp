// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/refine.h"

#include "core/model/fit.h"
#include "core/model/single_ops.h"
#include "core/refine/levels.h"
#include "core/refine/optimum.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/runtime/pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>

namespace tolvenar::refine {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

using Shape = FamilyShape;

// A box as the draws use it: [lo - (hi - lo) / 10, hi + (hi - lo) / 10]; an empty box bounds
// nothing.
std::pair<double, double> widened(float lo, float hi)
{
    if (lo > hi)
        return {-kInf, kInf};
    const double spread = 0.1 * (static_cast<double>(hi) - static_cast<double>(lo));
    return {static_cast<double>(lo) - spread, static_cast<double>(hi) + spread};
}

// The cropped points, and the search's measures over them.
struct Crop {
    std::vector<double> t;
    std::vector<double> y;  // observed y as the measures read it, single
    std::vector<double> w;  // weight 1 / sigma^2 of each point; empty: every point 1
    CropMeasures measures;
};

Crop read_crop(const FitCrop& fit_crop)
{
    Crop crop{{}, {}, {}, CropMeasures(fit_crop)};
    for (std::size_t i = 0; i < static_cast<std::size_t>(fit_crop.points()); ++i) {
        crop.t.push_back(fit_crop.t(i));
        crop.y.push_back(fit_crop.y(i));
    }
    if (!fit_crop.weight.empty())
        crop.w.assign(fit_crop.weight.begin() + 1, fit_crop.weight.end() - 1);
    return crop;
}

// The weight of cropped point i (from 0).
double weight_of(const Crop& crop, std::size_t i)
{
    return crop.w.empty() ? 1.0 : crop.w[i];
}

// The search's own measures of `model`; a model they fault on scores as no model.
MeasuredModel score(Crop& crop, const Model& model)
{
    return crop.measures.measure(model);
}

// The sum of squares profiled over the levels, as a function of the moved break points.
class Profile {
public:
    Profile(const Crop& crop, const Shape& shape, const Model& start, const FitCrop& fit_crop,
            ModelFamily family, bool constrained)
        : m_crop(crop), m_shape(shape), m_left(start.x[1]),
          m_right(start.x[static_cast<std::size_t>(shape.last)])
    {
        const bool boxed = constrained || family_row(family).drawn;
        const BoxLimits& boxes = constrained ? fit_crop.constraint : fit_crop.manual;
        const Vertices& xmin = boxes.xmin;
        const Vertices& xmax = boxes.xmax;
        const Vertices& ymin = boxes.ymin;
        const Vertices& ymax = boxes.ymax;
        for (int k : shape.moved) {
            auto [lo, hi] = boxed ? widened(xmin[k], xmax[k]) : std::pair{-kInf, kInf};
            m_lower.push_back(std::max(lo, m_left));
            m_upper.push_back(std::min(hi, m_right));
        }
        for (int k : shape.level_vertex) {
            auto [lo, hi] = boxed ? widened(ymin[k], ymax[k]) : std::pair{-kInf, kInf};
            m_level_lower.push_back(lo);
            m_level_upper.push_back(hi);
        }
    }

    double width() const { return m_right - m_left; }
    double left() const { return m_left; }
    double right() const { return m_right; }

    // Vertex x of the moved break points, in double.
    std::array<double, 7> vertices(const std::vector<double>& p) const
    {
        std::array<double, 7> x{};
        x[1] = m_left;
        for (std::size_t i = 0; i < p.size(); ++i)
            x[static_cast<std::size_t>(m_shape.moved[i])] = p[i];
        if (m_shape.midway)
            x[3] = 0.5 * (x[2] + x[4]);
        for (int k = m_shape.last; k <= 6; ++k)
            x[static_cast<std::size_t>(k)] = m_right;
        return x;
    }

    // The nearest break points in their boxes and in order; nullopt when the boxes leave none.
    std::optional<std::vector<double>> feasible(std::vector<double> p) const
    {
        double floor = m_left;
        for (std::size_t i = 0; i < p.size(); ++i) {
            p[i] = std::max({p[i], m_lower[i], floor});
            if (!(p[i] <= m_upper[i]))
                p[i] = m_upper[i];
            if (p[i] < floor)
                return std::nullopt;
            floor = p[i];
        }
        return p;
    }

    // The levels and their sum of squares at vertex x; nullopt for a degenerate model.
    std::optional<LevelFit> levels_at(const std::array<double, 7>& x) const
    {
        const std::size_t n = m_crop.t.size();
        const std::size_t p = m_shape.level_vertex.size();
        std::vector<double> design(n * p, 0.0);
        const auto& of = m_shape.level_of;
        for (std::size_t i = 0; i < n; ++i) {
            const double t = m_crop.t[i];
            int k = 1;
            while (k < 5 && t > x[static_cast<std::size_t>(k + 1)])
                ++k;
            // The point's segment k..k+1 as Fitting finds it; beyond vertex 6 (segment 5 past
            // its end) it holds y6. A point on a zero-length segment (at the left edge, x2 = x1)
            // is a model Fitting refuses.
            const double dx = x[static_cast<std::size_t>(k + 1)] - x[static_cast<std::size_t>(k)];
            if (dx <= 0.0 && t <= x[static_cast<std::size_t>(k + 1)])
                return std::nullopt;
            double a = dx > 0.0 ? (t - x[static_cast<std::size_t>(k)]) / dx : 1.0;
            a = std::clamp(a, 0.0, 1.0);
            // Weighted least squares: the row and its y times sqrt(w).
            const double root = std::sqrt(weight_of(m_crop, i));
            design[static_cast<std::size_t>(of[static_cast<std::size_t>(k)]) * n + i] +=
                (1.0 - a) * root;
            design[static_cast<std::size_t>(of[static_cast<std::size_t>(k + 1)]) * n + i] +=
                a * root;
        }
        if (m_crop.w.empty())
            return solve_levels(design, p, m_crop.y, m_level_lower, m_level_upper);
        std::vector<double> y(n);
        for (std::size_t i = 0; i < n; ++i)
            y[i] = m_crop.y[i] * std::sqrt(m_crop.w[i]);
        return solve_levels(design, p, y, m_level_lower, m_level_upper);
    }

    double lower(std::size_t i) const { return m_lower[i]; }
    double upper(std::size_t i) const { return m_upper[i]; }
    const std::vector<double>& level_lower() const { return m_level_lower; }
    const std::vector<double>& level_upper() const { return m_level_upper; }

private:
    const Crop& m_crop;
    const Shape& m_shape;
    double m_left;
    double m_right;
    std::vector<double> m_lower, m_upper;              // per moved break point
    std::vector<double> m_level_lower, m_level_upper;  // per level
};

std::vector<double> moved_of(const Shape& shape, const Model& model)
{
    std::vector<double> p;
    for (int k : shape.moved)
        p.push_back(static_cast<double>(model.x[static_cast<std::size_t>(k)]));
    return p;
}

// The model at break points `p` in single precision: x rounded (x3 midway in single, as the
// constrained draws form it), the levels solved again at those x and rounded, held in their
// boxes.
std::optional<Model> model_at(const Profile& profile, const Shape& shape, const Model& start,
                              const std::vector<double>& p)
{
    Model m;
    const std::array<double, 7> wide = profile.vertices(p);
    for (std::size_t k = 1; k <= 6; ++k)
        m.x[k] = static_cast<float>(wide[k]);
    m.x[1] = start.x[1];
    if (shape.midway)
        m.x[3] = (m.x[2] + m.x[4]) / 2.0f;
    for (int k = shape.last; k <= 6; ++k)
        m.x[static_cast<std::size_t>(k)] = start.x[static_cast<std::size_t>(shape.last)];
    std::array<double, 7> rounded{};
    for (std::size_t k = 1; k <= 6; ++k)
        rounded[k] = static_cast<double>(m.x[k]);
    const auto fit = profile.levels_at(rounded);
    if (!fit)
        return std::nullopt;
    for (std::size_t k = 1; k <= 6; ++k) {
        const auto j = static_cast<std::size_t>(shape.level_of[k]);
        const double level = std::clamp(fit->levels[j], profile.level_lower()[j],
                                        profile.level_upper()[j]);
        if (!(std::abs(level) < 3e38))
            return std::nullopt;
        m.y[k] = static_cast<float>(level);
    }
    return m;
}

// The optimum's problem of `request` over the crop, its first start the request's.
OptimumProblem problem_of(const Crop& crop, const Shape& shape, const Profile& profile,
                          const RefineRequest& request)
{
    OptimumProblem problem{crop.t, crop.y, crop.w, shape, profile.left(), profile.right(),
                           {}, {}, profile.level_lower(), profile.level_upper(), {},
                           request.local, request.threads, request.stop};
    for (std::size_t i = 0; i < shape.moved.size(); ++i) {
        problem.lower.push_back(profile.lower(i));
        problem.upper.push_back(profile.upper(i));
    }
    problem.starts.push_back(moved_of(shape, request.start));
    return problem;
}

}  // namespace

std::size_t parameter_count(ModelFamily family, std::int16_t node_count)
{
    const Shape shape = family_shape(family, node_count);
    return shape.moved.size() + shape.level_vertex.size();
}

namespace {

// The polyline at t as Fitting evaluates it, in double.
double polyline_at(double t, const std::array<double, 7>& x, const std::array<double, 7>& y)
{
    int k = 1;  // on the last segment beyond vertex 6, its end holds y6
    while (k < 5 && t > x[static_cast<std::size_t>(k + 1)])
        ++k;
    const auto i = static_cast<std::size_t>(k);
    const double dx = x[i + 1] - x[i];
    const double a = dx > 0.0 ? std::clamp((t - x[i]) / dx, 0.0, 1.0) : 1.0;
    return y[i] + a * (y[i + 1] - y[i]);
}

// Inverse of a small symmetric positive definite matrix (Gauss-Jordan, partial pivoting).
std::optional<std::vector<double>> inverse(std::vector<double> a, std::size_t q)
{
    std::vector<double> inv(q * q, 0.0);
    for (std::size_t i = 0; i < q; ++i)
        inv[i * q + i] = 1.0;
    double scale = 0.0;
    for (std::size_t i = 0; i < q; ++i)
        scale = std::max(scale, std::abs(a[i * q + i]));
    for (std::size_t c = 0; c < q; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < q; ++r)
            if (std::abs(a[r * q + c]) > std::abs(a[pivot * q + c]))
                pivot = r;
        if (!(std::abs(a[pivot * q + c]) > 1e-13 * scale))
            return std::nullopt;
        for (std::size_t k = 0; k < q; ++k) {
            std::swap(a[c * q + k], a[pivot * q + k]);
            std::swap(inv[c * q + k], inv[pivot * q + k]);
        }
        const double d = a[c * q + c];
        for (std::size_t k = 0; k < q; ++k) {
            a[c * q + k] /= d;
            inv[c * q + k] /= d;
        }
        for (std::size_t r = 0; r < q; ++r) {
            if (r == c)
                continue;
            const double f = a[r * q + c];
            for (std::size_t k = 0; k < q; ++k) {
                a[r * q + k] -= f * a[c * q + k];
                inv[r * q + k] -= f * inv[c * q + k];
            }
        }
    }
    return inv;
}

}  // namespace

double model_value_at(const Model& model, double t)
{
    std::array<double, 7> x{}, y{};
    for (std::size_t k = 1; k <= 6; ++k) {
        x[k] = model.x[k];
        y[k] = model.y[k];
    }
    return polyline_at(t, x, y);
}

namespace {

// A least-squares model linearised over the crop: the Jacobian z of its moved break points and
// levels and its residuals r, row i of each times sqrt(w_i) (whitened: z'z = J'WJ), and the
// inverse of z'z.
struct Linearised {
    Shape shape;
    std::vector<double> t;            // model x of each point
    std::size_t d = 0, q = 0, n = 0;  // moved break points, parameters, points
    std::vector<double> z;            // n x q, row-major
    std::vector<double> r;
    std::vector<double> bread_inverse;
};

std::optional<Linearised> linearise(const FitCrop& fit_crop, ModelFamily family,
                                    const Model& model)
{
    const Crop crop = read_crop(fit_crop);
    Linearised lin;
    const Shape& shape = lin.shape = family_shape(family, fit_crop.vertices);
    lin.t = crop.t;
    const std::size_t d = lin.d = shape.moved.size();
    const std::size_t q = lin.q = d + shape.level_vertex.size();
    const std::size_t n = lin.n = crop.t.size();
    if (shape.last < 2 || n <= q)
        return std::nullopt;
    const double left = model.x[1];
    const double right = model.x[static_cast<std::size_t>(shape.last)];
    std::vector<double> theta;
    for (int k : shape.moved)
        theta.push_back(model.x[static_cast<std::size_t>(k)]);
    for (int k : shape.level_vertex)
        theta.push_back(model.y[static_cast<std::size_t>(k)]);
    const auto curve = [&](const std::vector<double>& p, std::vector<double>& f) {
        std::array<double, 7> x{}, y{};
        x[1] = left;
        for (std::size_t i = 0; i < d; ++i)
            x[static_cast<std::size_t>(shape.moved[i])] = p[i];
        if (shape.midway)
            x[3] = 0.5 * (x[2] + x[4]);
        for (int k = shape.last; k <= 6; ++k)
            x[static_cast<std::size_t>(k)] = right;
        for (std::size_t k = 1; k <= 6; ++k)
            y[k] = p[d + static_cast<std::size_t>(shape.level_of[k])];
        for (std::size_t i = 0; i < n; ++i)
            f[i] = polyline_at(crop.t[i], x, y);
    };
    std::vector<double> f0(n), plus(n), minus(n);
    lin.z.resize(n * q);
    curve(theta, f0);
    for (std::size_t j = 0; j < q; ++j) {
        const double h = (j < d ? 1e-5 * (right - left) : 1e-3 * (1.0 + std::abs(theta[j])));
        std::vector<double> p = theta;
        p[j] = theta[j] + h;
        curve(p, plus);
        p[j] = theta[j] - h;
        curve(p, minus);
        for (std::size_t i = 0; i < n; ++i)
            lin.z[i * q + j] = (plus[i] - minus[i]) / (2.0 * h);
    }
    lin.r.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        lin.r[i] = crop.y[i] - f0[i];
        if (!crop.w.empty()) {
            const double root = std::sqrt(crop.w[i]);
            lin.r[i] *= root;
            for (std::size_t j = 0; j < q; ++j)
                lin.z[i * q + j] *= root;
        }
    }
    std::vector<double> bread(q * q, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t a = 0; a < q; ++a)
            for (std::size_t b = 0; b < q; ++b)
                bread[a * q + b] += lin.z[i * q + a] * lin.z[i * q + b];
    auto inv = inverse(bread, q);
    if (!inv)
        return std::nullopt;
    lin.bread_inverse = std::move(*inv);
    return lin;
}

// The sandwich (z'z)^-1 meat (z'z)^-1 read off per vertex and for the family's measure.
StandardErrors errors_of(const Linearised& lin, const Model& model,
                         const std::vector<double>& meat)
{
    const Shape& shape = lin.shape;
    const std::size_t q = lin.q, d = lin.d;
    const std::vector<double>& inv = lin.bread_inverse;
    std::vector<double> cov(q * q, 0.0), tmp(q * q, 0.0);
    for (std::size_t a = 0; a < q; ++a)
        for (std::size_t b = 0; b < q; ++b)
            for (std::size_t c = 0; c < q; ++c)
                tmp[a * q + b] += inv[a * q + c] * meat[c * q + b];
    for (std::size_t a = 0; a < q; ++a)
        for (std::size_t b = 0; b < q; ++b)
            for (std::size_t c = 0; c < q; ++c)
                cov[a * q + b] += tmp[a * q + c] * inv[c * q + b];
    // The standard error of a linear combination g of the parameters.
    const auto se = [&](const std::vector<double>& g) {
        double v = 0.0;
        for (std::size_t a = 0; a < q; ++a)
            for (std::size_t b = 0; b < q; ++b)
                v += g[a] * cov[a * q + b] * g[b];
        return static_cast<float>(std::sqrt(std::max(v, 0.0)));
    };
    const auto of_break = [&](int vertex) {
        std::vector<double> g(q, 0.0);
        for (std::size_t i = 0; i < d; ++i)
            if (shape.moved[i] == vertex)
                g[i] = 1.0;
        if (shape.midway && vertex == 3)
            g[0] = g[1] = 0.5;
        return g;
    };
    StandardErrors out;
    for (int k = 1; k <= 6; ++k) {
        out.x[static_cast<std::size_t>(k)] = se(of_break(k));
        std::vector<double> g(q, 0.0);
        g[d + static_cast<std::size_t>(shape.level_of[static_cast<std::size_t>(k)])] = 1.0;
        out.y[static_cast<std::size_t>(k)] = se(g);
    }
    std::vector<double> g(q, 0.0);
    if (measure_gradient(shape.measure, model.x, of_break(2), of_break(3), of_break(4), g))
        out.measure = se(g);
    return out;
}

}  // namespace

std::optional<StandardErrors> standard_errors(const FitCrop& crop, ModelFamily family,
                                              const Model& model, std::size_t lag)
{
    const auto lin = linearise(crop, family, model);
    if (!lin)
        return std::nullopt;
    const std::size_t n = lin->n, q = lin->q;
    const std::vector<double>& z = lin->z;
    std::vector<double> meat(q * q, 0.0);
    for (std::size_t h = 0; h <= std::min(lag, n - 1); ++h) {
        const double w = (h == 0 ? 1.0 : 1.0 - static_cast<double>(h) / static_cast<double>(lag + 1));
        for (std::size_t i = 0; i + h < n; ++i) {
            const double ee = w * lin->r[i] * lin->r[i + h];
            for (std::size_t a = 0; a < q; ++a)
                for (std::size_t b = 0; b < q; ++b)
                    meat[a * q + b] += ee * (h == 0 ? z[i * q + a] * z[i * q + b]
                                                    : z[i * q + a] * z[(i + h) * q + b] +
                                                          z[(i + h) * q + a] * z[i * q + b]);
        }
    }
    return errors_of(*lin, model, meat);
}

namespace {

// sum_j rho_ij z_j of each point i (n x q) for the AR(1) correlation whose steps are a (ar1_steps):
// F_i + B_i, F_i = z_i + a_i F_(i-1), B_i = a_(i+1) (z_(i+1) + B_(i+1)).
std::vector<double> correlated(const Linearised& lin, const std::vector<double>& a)
{
    const std::size_t n = lin.n, q = lin.q;
    const std::vector<double>& z = lin.z;
    std::vector<double> forward(n * q), backward(n * q, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t c = 0; c < q; ++c)
            forward[i * q + c] = z[i * q + c] + (i > 0 ? a[i] * forward[(i - 1) * q + c] : 0.0);
    for (std::size_t i = n - 1; i-- > 0;)
        for (std::size_t c = 0; c < q; ++c)
            backward[i * q + c] = a[i + 1] * (z[(i + 1) * q + c] + backward[(i + 1) * q + c]);
    for (std::size_t k = 0; k < n * q; ++k)
        forward[k] += backward[k];
    return forward;
}

// What the residuals keep, on average, of AR(1) noise of unit variance with steps a: the sums
// of their squares and of their products one point apart, for residuals (I - H) e with H the
// fit's hat matrix z (z'z)^-1 z'. With R the noise's correlation and w_i = (R z)_i:
// squares n - tr(H R), products sum_i a_(i+1) - u_i.w_(i+1) - w_i.u_(i+1) + u_i' (z'R z) u_(i+1),
// u_i = (z'z)^-1 z_i.
struct Kept {
    double squares = 0.0, products = 0.0;
};
// The u_i of kept_of_noise, n x q.
std::vector<double> leverages(const Linearised& lin)
{
    const std::size_t n = lin.n, q = lin.q;
    std::vector<double> u(n * q, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t b = 0; b < q; ++b)
            for (std::size_t c = 0; c < q; ++c)
                u[i * q + b] += lin.bread_inverse[b * q + c] * lin.z[i * q + c];
    return u;
}
Kept kept_of_noise(const Linearised& lin, const std::vector<double>& u, const std::vector<double>& a)
{
    const std::size_t n = lin.n, q = lin.q;
    const std::vector<double>& z = lin.z;
    const std::vector<double> w = correlated(lin, a);
    std::vector<double> g(q * q, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t b = 0; b < q; ++b)
            for (std::size_t c = 0; c < q; ++c)
                g[b * q + c] += z[i * q + b] * w[i * q + c];
    const auto dot = [q](const double* p, const double* r) {
        double sum = 0.0;
        for (std::size_t c = 0; c < q; ++c)
            sum += p[c] * r[c];
        return sum;
    };
    Kept kept;
    kept.squares = static_cast<double>(n);
    std::vector<double> gu(q);
    for (std::size_t i = 0; i < n; ++i) {
        const double* ui = &u[i * q];
        kept.squares -= dot(ui, &w[i * q]);
        if (i + 1 == n)
            break;
        const double* next = &u[(i + 1) * q];
        for (std::size_t b = 0; b < q; ++b)
            gu[b] = dot(&g[b * q], next);
        kept.products += a[i + 1] - dot(ui, &w[(i + 1) * q]) - dot(&w[i * q], next) + dot(ui, gu.data());
    }
    return kept;
}

// The AR(1) of the noise whose residuals the fit left: the persistence at which the noise less
// what the fit absorbs of it keeps, on average, the residuals' ratio of products one point
// apart to squares, and the variance that keeps their squares. The residuals' own likelihood
// takes the persistence too short and the variance too small, the more so the shorter the
// series and the more persistent the noise, because the fit absorbs the noise's slow part.
compare::NoiseFit matched_ar1(const Linearised& lin)
{
    const std::size_t n = lin.n;
    compare::NoiseFit fit;
    fit.parameters = 2;
    // Centred as the blocks are: residuals off zero on average (levels held by their boxes, a
    // model taken as given) are off by the model's misfit, which the AR(1) would take for a
    // persistence near one and a variance the fit absorbs almost all of.
    const double offset = std::accumulate(lin.r.begin(), lin.r.end(), 0.0) / static_cast<double>(std::max<std::size_t>(n, 1));
    double squares = 0.0, products = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        squares += (lin.r[i] - offset) * (lin.r[i] - offset);
        if (i + 1 < n)
            products += (lin.r[i] - offset) * (lin.r[i + 1] - offset);
    }
    fit.variance = squares / static_cast<double>(std::max<std::size_t>(n, 1));
    if (n < 3 || !(squares > 0.0))
        return fit;
    const bool even = compare::evenly_spaced(lin.t);
    double least = kInf;
    for (std::size_t i = 1; i < n; ++i)
        least = std::min(least, std::abs(lin.t[i] - lin.t[i - 1]));
    const double mean = std::abs(lin.t.back() - lin.t.front()) / static_cast<double>(n - 1);
    least = std::max(least, compare::kMinimumGapShare * mean);
    // Even x: u = atanh phi; uneven: u = ln tau over fit_noise's range.
    const auto noise_at = [&](double u) {
        compare::NoiseFit at;
        if (even) {
            at.phi = std::tanh(u);
        } else {
            at.tau = std::exp(u);
            at.phi = std::exp(-mean / *at.tau);
        }
        return at;
    };
    const std::vector<double> leverage = leverages(lin);
    const auto kept_at = [&](double u) {
        return kept_of_noise(lin, leverage, ar1_steps(lin.t, noise_at(u)));
    };
    // The ratio rises with the persistence: its root by regula falsi (Illinois), a few steps.
    const double target = products / squares;
    const auto excess = [&](double u) {
        const Kept k = kept_at(u);
        return k.products / k.squares - target;
    };
    double lo = even ? -3.8 : std::log(least) - 3.0, hi = even ? 3.8 : std::log(mean) + 8.0;
    double f_lo = excess(lo), f_hi = excess(hi), u = f_lo >= 0.0 ? lo : hi;
    for (int step = 0, side = 0; step < 60 && f_lo < 0.0 && f_hi > 0.0 && hi - lo > 1e-7; ++step) {
        u = (lo * f_hi - hi * f_lo) / (f_hi - f_lo);
        const double f = excess(u);
        if (f == 0.0)
            break;
        if (f < 0.0) {
            lo = u, f_lo = f;
            f_hi *= side < 0 ? 0.5 : 1.0;  // the same end kept twice: halve the other's weight
            side = -1;
        } else {
            hi = u, f_hi = f;
            f_lo *= side > 0 ? 0.5 : 1.0;
            side = 1;
        }
        if (std::abs(f) < 1e-10)
            break;
    }
    const compare::NoiseFit at = noise_at(u);
    const double marginal = squares / std::max(kept_at(u).squares, 1.0);
    fit.phi = at.phi;
    fit.tau = at.tau;
    fit.variance = even ? marginal * (1.0 - at.phi) * (1.0 + at.phi) : marginal;
    return fit;
}

}  // namespace

std::optional<compare::NoiseFit> residual_noise(const FitCrop& crop, ModelFamily family,
                                                const Model& model)
{
    const auto lin = linearise(crop, family, model);
    if (!lin)
        return std::nullopt;
    return matched_ar1(*lin);
}

std::optional<NoisyErrors> ar1_standard_errors(const FitCrop& crop, ModelFamily family,
                                               const Model& model)
{
    const auto lin = linearise(crop, family, model);
    if (!lin)
        return std::nullopt;
    const std::size_t n = lin->n, q = lin->q;
    const std::vector<double>& z = lin->z;
    const compare::NoiseFit noise = matched_ar1(*lin);
    const std::vector<double> w = correlated(*lin, ar1_steps(lin->t, noise));
    // Marginal variance: on even x the noise's variance is the innovations'.
    const double variance =
        noise.tau ? noise.variance : noise.variance / ((1.0 - noise.phi) * (1.0 + noise.phi));
    std::vector<double> meat(q * q, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t a = 0; a < q; ++a)
            for (std::size_t b = 0; b < q; ++b)
                meat[a * q + b] += variance * z[i * q + a] * w[i * q + b];
    for (std::size_t a = 0; a < q; ++a)
        for (std::size_t b = 0; b < a; ++b)
            meat[a * q + b] = meat[b * q + a] = 0.5 * (meat[a * q + b] + meat[b * q + a]);
    return NoisyErrors{errors_of(*lin, model, meat), noise};
}

std::vector<double> ar1_steps(std::span<const double> t, const compare::NoiseFit& noise)
{
    std::vector<double> step(t.size(), 0.0);
    if (t.size() < 2)
        return step;
    if (!noise.tau) {
        std::fill(step.begin() + 1, step.end(), noise.phi);
        return step;
    }
    // Gaps floored as the likelihood floors them, so that repeated x stay apart.
    const double mean = std::abs(t.back() - t.front()) / static_cast<double>(t.size() - 1);
    for (std::size_t i = 1; i < t.size(); ++i)
        step[i] = std::exp(-std::max(std::abs(t[i] - t[i - 1]), compare::kMinimumGapShare * mean) /
                           *noise.tau);
    return step;
}

RefinedFit refine_fit(const FitCrop& fit_crop, const RefineRequest& request)
{
    Crop crop = read_crop(fit_crop);
    const Shape shape = family_shape(request.family, fit_crop.vertices);
    const MeasuredModel at_start = score(crop, request.start);
    RefinedFit result{request.start, at_start.sq_dist, at_start.r,
                      family_measure(request.family, request.start.x), false, fit_crop.y_origin};
    if (shape.last < 2 || crop.t.empty())
        return result;

    const Profile profile(crop, shape, request.start, fit_crop, request.family,
                          request.constrained);
    if (!(profile.width() > 0.0))
        return result;
    OptimumProblem problem = problem_of(crop, shape, profile, request);
    for (const Model& start : request.restarts)
        problem.starts.push_back(moved_of(shape, start));
    problem.grid_first = request.grid_first;
    const OptimumResult found = global_optimum(problem);
    // The lowest end whose single-precision model the search's measures score below the start,
    // compared as the search compares: strictly lower, so a tie keeps the start. An end whose
    // single-precision model scores far above its own sum (a vertex on a data point rounded past
    // it) gives way to the next, unless none does better.
    for (const Minimum& end : found.minima) {
        const auto p = profile.feasible(end.moved);
        const auto model = p ? model_at(profile, shape, request.start, *p) : std::nullopt;
        if (!model)
            continue;
        const MeasuredModel refined = score(crop, *model);
        if (!(refined.sq_dist < at_start.sq_dist) || (result.improved && !(refined.sq_dist < result.sq_dist)))
            continue;
        result = {*model, refined.sq_dist, refined.r, family_measure(request.family, model->x),
                  true, fit_crop.y_origin};
        if (refined.sq_dist <= end.sq_dist * (1.0 + 1e-3) + 1e-9 * at_start.sq_dist)
            break;
    }
    result.gave_way = found.gave_way;
    return result;
}

HeldSums held_sq_dists(const FitCrop& fit_crop, const RefineRequest& request,
                       std::span<const HeldAt> at)
{
    HeldSums out{kInf, std::vector<double>(at.size(), kInf)};
    Crop crop = read_crop(fit_crop);
    const Shape shape = family_shape(request.family, fit_crop.vertices);
    if (shape.last < 2 || crop.t.empty())
        return out;
    const Profile profile(crop, shape, request.start, fit_crop, request.family,
                          request.constrained);
    if (!(profile.width() > 0.0))
        return out;
    const OptimumProblem problem = problem_of(crop, shape, profile, request);
    const std::vector<double>& start = problem.starts.front();
    out.least = profiled_sq_dist(problem, start);
    parallel_for(at.size(), request.threads, [&](std::size_t k) {
        const auto [j, x] = at[k];
        if (j >= shape.moved.size() || !(x >= problem.lower[j] && x <= problem.upper[j]))
            return;  // no such break point, or outside its box: no model holds it there
        OptimumProblem held = problem;
        held.threads = 1;
        held.corners = true;
        held.lower[j] = held.upper[j] = x;
        // From the start, the break points before j kept left of it and those after right.
        std::vector<double> from = start;
        for (std::size_t i = 0; i < from.size(); ++i)
            from[i] = i < j ? std::min(from[i], x) : i > j ? std::max(from[i], x) : x;
        held.starts = {from};
        const OptimumResult found = global_optimum(held);
        if (!found.minima.empty())
            out.held[k] = found.minima.front().sq_dist;
    });
    return out;
}

}  // namespace tolvenar::refine
