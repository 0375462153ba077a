// SPDX-License-Identifier: GPL-3.0-or-later
// Built with vectorisation and without trapping-math (the per-point divisions run for every
// lane); values stay IEEE exact, no contraction and no reassociation.
#include "core/model/fit_kernel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace tolvenar {

namespace {

// Vectorised: the segment choice is a chain of selects, the division exact IEEE double. Each
// instruction set below compiles its own copy.
template <bool weighted>
[[gnu::always_inline]] inline int fit_points_loop(const double* x, const float* observed,
                                                  const double* weights,
                                                  const float* old_model, float* model,
                                                  double* squares, int n,
                                                  const SegmentTable& segments)
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
        const double square = static_cast<double>(d) * static_cast<double>(d);
        squares[i] = weighted ? square * weights[i] : square;
    }
    return bad;
}

[[gnu::always_inline]] inline int fit_points_body(const double* x, const float* observed,
                                                  const double* weights,
                                                  const float* old_model, float* model,
                                                  double* squares, int n,
                                                  const SegmentTable& segments)
{
    return weights ? fit_points_loop<true>(x, observed, weights, old_model, model, squares, n,
                                           segments)
                   : fit_points_loop<false>(x, observed, weights, old_model, model, squares, n,
                                            segments);
}

int fit_points_baseline(const double* x, const float* observed, const double* weights,
                        const float* old_model, float* model, double* squares, int n,
                        const SegmentTable& segments)
{
    return fit_points_body(x, observed, weights, old_model, model, squares, n, segments);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TOLVENAR_WIDE_KERNELS 1

[[gnu::target("avx2")]] int fit_points_avx2(const double* x, const float* observed,
                                            const double* weights, const float* old_model,
                                            float* model, double* squares, int n,
                                            const SegmentTable& segments)
{
    return fit_points_body(x, observed, weights, old_model, model, squares, n, segments);
}

[[gnu::target("avx512f,avx512vl,avx512dq")]] int fit_points_avx512(
    const double* x, const float* observed, const double* weights, const float* old_model,
    float* model, double* squares, int n, const SegmentTable& segments)
{
    return fit_points_body(x, observed, weights, old_model, model, squares, n, segments);
}
#endif

std::vector<FitPointsVariant> supported_variants()
{
    std::vector<FitPointsVariant> variants{{"baseline", &fit_points_baseline}};
#ifdef TOLVENAR_WIDE_KERNELS
    const InstructionSets sets = instruction_sets();
    if (sets.avx2)
        variants.push_back({"avx2", &fit_points_avx2});
    if (sets.avx512)
        variants.push_back({"avx512", &fit_points_avx512});
#endif
    return variants;
}

}  // namespace

const std::vector<FitPointsVariant>& fit_points_variants()
{
    static const std::vector<FitPointsVariant> variants = supported_variants();
    return variants;
}


// The sum never falls. While it stays within one binade of singles [2^e, 2^(e+1)), the
// double addition rounds the square to the double step there, 2^(e-52), and the conversion
// rounds to the single step 2^(e-23): both are fixed-step roundings, done by adding and
// subtracting 1.5 * 2^52 steps (ties to even, as the hardware rounds). The sum is held biased
// by the single step's constant, so the chain from one point to the next is one addition;
// a change of binade, a square of half the binade or more, and sums below 2^-100 (where the
// double step varies within the binade) take the exact conversion instead.
void SingleRunningSum::add(const double* squares, int n)
{
    if (m_overflow)
        return;
    double biased = m_biased;
    for (int i = 0; i < n; ++i) {
        const double square = squares[i];
        const double step = (square + m_square_magic) - m_square_magic;
        const double next = biased + step;
        if (square < m_square_limit && next < m_biased_limit) {
            biased = next;
            continue;
        }
        const auto rounded = static_cast<float>((biased - m_magic) + square);
        if (std::isinf(rounded)) {
            m_overflow = true;
            break;
        }
        enter_binade(rounded);
        biased = static_cast<double>(rounded) + m_magic;
    }
    m_biased = biased;
}

void SingleRunningSum::enter_binade(float sum)
{
    constexpr double kSmallest = 0x1p-100;
    if (!(sum >= kSmallest)) {
        m_magic = 0.0;
        m_square_magic = 0.0;
        m_square_limit = -HUGE_VAL;
        m_biased_limit = -HUGE_VAL;
        return;
    }
    const int e = std::ilogb(sum);
    m_magic = std::ldexp(1.5, e - (FLT_MANT_DIG - 1) + (DBL_MANT_DIG - 1));
    m_square_magic = std::ldexp(1.5, e);
    m_square_limit = std::ldexp(1.0, e - 1);
    m_biased_limit = m_magic + (e == FLT_MAX_EXP - 1 ? static_cast<double>(FLT_MAX)
                                                      : std::ldexp(1.0, e + 1));
}

}  // namespace tolvenar
