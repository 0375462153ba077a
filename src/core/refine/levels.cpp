// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/refine/levels.h"

#include <cmath>
#include <limits>

namespace tolvenar::refine {

namespace {

// Householder QR of the rows x cols column-major matrix `a`, applied to `b` alongside: on return
// the upper triangle of `a` holds R and b = Q^T b. False when a column is (numerically) in the
// span of the earlier ones.
bool householder(std::vector<double>& a, std::size_t rows, std::size_t cols, std::vector<double>& b)
{
    for (std::size_t j = 0; j < cols; ++j) {
        double* col = a.data() + j * rows;
        double norm = 0.0;
        double original = 0.0;
        for (std::size_t i = j; i < rows; ++i)
            norm += col[i] * col[i];
        for (std::size_t i = 0; i < rows; ++i)
            original += col[i] * col[i];
        norm = std::sqrt(norm);
        // Relative to the column before elimination: what is left is rounding noise.
        if (!(norm > 1e-10 * std::sqrt(original)) || norm == 0.0)
            return false;
        const double alpha = col[j] > 0.0 ? -norm : norm;
        col[j] -= alpha;  // v = x - alpha e_j, stored in place
        double vnorm2 = 0.0;
        for (std::size_t i = j; i < rows; ++i)
            vnorm2 += col[i] * col[i];
        const auto reflect = [&](double* target) {
            double dot = 0.0;
            for (std::size_t i = j; i < rows; ++i)
                dot += col[i] * target[i];
            const double f = 2.0 * dot / vnorm2;
            for (std::size_t i = j; i < rows; ++i)
                target[i] -= f * col[i];
        };
        for (std::size_t k = j + 1; k < cols; ++k)
            reflect(a.data() + k * rows);
        reflect(b.data());
        // R's diagonal; the rest of the column below it is no longer needed.
        col[j] = alpha;
        for (std::size_t i = j + 1; i < rows; ++i)
            col[i] = 0.0;
    }
    return true;
}

// Solves the upper-triangular system R x = c (R: the top cols x cols of column-major `r`).
std::vector<double> back_substitute(const std::vector<double>& r, std::size_t rows,
                                    std::size_t cols, const std::vector<double>& c)
{
    std::vector<double> x(cols);
    for (std::size_t jj = cols; jj-- > 0;) {
        double s = c[jj];
        for (std::size_t k = jj + 1; k < cols; ++k)
            s -= r[k * rows + jj] * x[k];
        x[jj] = s / r[jj * rows + jj];
    }
    return x;
}

bool within(const std::vector<double>& x, std::span<const double> lower,
            std::span<const double> upper)
{
    for (std::size_t j = 0; j < x.size(); ++j)
        if (x[j] < lower[j] || x[j] > upper[j])
            return false;
    return true;
}

enum class Hold : unsigned char { Free, Lower, Upper };

// min |R x - c|^2 over the levels held as `hold` says: the held ones at their bound, the free
// ones solved by a small QR. nullopt when the free ones leave their bounds.
std::optional<std::pair<std::vector<double>, double>> solve_held(
    const std::vector<double>& r, std::size_t rows, std::size_t cols, const std::vector<double>& c,
    const std::vector<Hold>& hold, std::span<const double> lower, std::span<const double> upper)
{
    std::vector<double> x(cols);
    std::vector<double> rhs(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(cols));
    std::vector<std::size_t> free;
    for (std::size_t j = 0; j < cols; ++j) {
        if (hold[j] == Hold::Free) {
            free.push_back(j);
            continue;
        }
        x[j] = hold[j] == Hold::Lower ? lower[j] : upper[j];
        for (std::size_t i = 0; i <= j; ++i)
            rhs[i] -= r[j * rows + i] * x[j];
    }
    if (!free.empty()) {
        std::vector<double> sub(cols * free.size());
        for (std::size_t f = 0; f < free.size(); ++f)
            for (std::size_t i = 0; i <= free[f]; ++i)
                sub[f * cols + i] = r[free[f] * rows + i];
        std::vector<double> b = rhs;
        if (!householder(sub, cols, free.size(), b))
            return std::nullopt;
        const std::vector<double> xf = back_substitute(sub, cols, free.size(), b);
        for (std::size_t f = 0; f < free.size(); ++f)
            x[free[f]] = xf[f];
    }
    if (!within(x, lower, upper))
        return std::nullopt;
    double residual = 0.0;
    for (std::size_t i = 0; i < cols; ++i) {
        double s = -c[i];
        for (std::size_t j = i; j < cols; ++j)
            s += r[j * rows + i] * x[j];
        residual += s * s;
    }
    return std::pair{std::move(x), residual};
}

}  // namespace

std::optional<LevelFit> solve_levels(std::span<const double> design, std::size_t columns,
                                     std::span<const double> observed,
                                     std::span<const double> lower,
                                     std::span<const double> upper)
{
    const std::size_t rows = observed.size();
    if (columns == 0 || rows < columns)
        return std::nullopt;
    std::vector<double> a(design.begin(), design.end());
    std::vector<double> b(observed.begin(), observed.end());
    if (!householder(a, rows, columns, b))
        return std::nullopt;
    double beyond = 0.0;  // the part of the data no level reaches
    for (std::size_t i = columns; i < rows; ++i)
        beyond += b[i] * b[i];

    std::vector<double> levels = back_substitute(a, rows, columns, b);
    if (within(levels, lower, upper))
        return LevelFit{std::move(levels), beyond};

    // A bound is active: the least squares over every choice of levels held at a bound, on the
    // triangular system (at most 3^6 small solves, only for a draw outside its boxes).
    std::vector<Hold> hold(columns, Hold::Free);
    std::optional<LevelFit> best;
    while (true) {
        if (const auto held = solve_held(a, rows, columns, b, hold, lower, upper);
            held && (!best || held->second + beyond < best->sq_dist))
            best = LevelFit{held->first, held->second + beyond};
        std::size_t j = 0;
        for (; j < columns; ++j) {
            Hold& h = hold[j];
            if (h == Hold::Free && std::isfinite(lower[j])) {
                h = Hold::Lower;
                break;
            }
            if (h != Hold::Upper && std::isfinite(upper[j])) {
                h = Hold::Upper;
                break;
            }
            h = Hold::Free;
        }
        if (j == columns)
            break;
    }
    return best;
}

}  // namespace tolvenar::refine
