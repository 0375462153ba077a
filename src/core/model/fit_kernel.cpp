// SPDX-License-Identifier: GPL-3.0-or-later
// Built with vectorisation and without trapping-math (the per-point divisions run for every
// lane); values stay IEEE exact, no contraction and no reassociation.
#include "core/model/fit_kernel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace tolvenar {

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
#define TOLVENAR_WIDE_VECTORS __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TOLVENAR_WIDE_VECTORS
#endif

// Vectorised: the segment choice is a chain of selects, the division exact IEEE double.
TOLVENAR_WIDE_VECTORS
int fit_points(const double* x, const float* observed, const float* old_model, float* model,
               double* squares, int n, const SegmentTable& segments)
{
    SegmentTable s = segments;
    const double last_end = std::max({s.end[0], s.end[1], s.end[2], s.end[3], s.end[4]});
    int bad = 0;
    for (int i = 0; i < n; ++i) {
        const double t = x[i];
        const float old = old_model[i];
        double xk = 0.0;
        double yk = 0.0;
        double dyk = 0.0;
        double dxk = 1.0;
        // Descending, so that the first segment whose end is at or right of t wins.
#pragma GCC unroll 5
        for (int k = 4; k >= 0; --k) {
            const bool hit = t <= s.end[k];
            xk = hit ? s.start_x[k] : xk;
            yk = hit ? s.start_y[k] : yk;
            dyk = hit ? s.dy[k] : dyk;
            dxk = hit ? s.dx[k] : dxk;
        }
        const auto fitted = static_cast<float>(yk + dyk * ((t - xk) / dxk));
        const float value = t <= last_end ? fitted : old;  // beyond every end: no segment
        const float d = observed[i] - value;
        bad |= static_cast<int>(!(std::fabs(value) <= FLT_MAX)) |
               static_cast<int>(!(std::fabs(d) <= FLT_MAX));
        model[i] = value;
        squares[i] = static_cast<double>(d) * static_cast<double>(d);
    }
    return bad;
}

// The sum never falls, so while it stays within one binade of singles, rounding to single is
// rounding to a fixed step, done by adding and subtracting 1.5 * 2^52 steps; only a change of
// binade takes the conversion. The add-and-subtract chain is shorter than two conversions.
void SingleRunningSum::add(const double* squares, int n)
{
    if (m_overflow)
        return;
    double sum = m_sum;
    for (int i = 0; i < n; ++i) {
        const double exact = sum + squares[i];
        if (exact < m_limit) {
            sum = (exact + m_magic) - m_magic;
            continue;
        }
        const auto rounded = static_cast<float>(exact);
        if (std::isinf(rounded)) {
            m_overflow = true;
            return;
        }
        sum = rounded;
        if (rounded == 0.0f) {
            m_limit = 0.0;
            continue;
        }
        const int binade = std::max(std::ilogb(rounded), FLT_MIN_EXP - 2);  // -126: subnormals too
        m_limit = binade == FLT_MAX_EXP - 1 ? static_cast<double>(FLT_MAX)
                                            : std::ldexp(1.0, binade + 1);
        m_magic = std::ldexp(1.5, binade - (FLT_MANT_DIG - 1) + (DBL_MANT_DIG - 1));
    }
    m_sum = sum;
}

}  // namespace tolvenar
