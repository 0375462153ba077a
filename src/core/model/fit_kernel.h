// SPDX-License-Identifier: GPL-3.0-or-later
// The per-point kernels of CropScorer. They only compute: the caller checks their flags and
// replays the reference routines of fit.h to raise a fault where one arises.
#pragma once

#include "core/model/kernel_variant.h"

#include <cmath>
#include <vector>

namespace tolvenar {

// One segment of the candidate as the per-point evaluation needs it, all in double.
struct SegmentTable {
    double end[5];      // ModelX(k + 1): a point t <= end[k - 1] lies on segment k or before
    double start_x[5];  // ModelX(k)
    double start_y[5];  // ModelY(k)
    double dy[5];       // ModelY(k + 1) - ModelY(k) rounded to single
    double dx[5];       // ModelX(k + 1) - ModelX(k) rounded to single
};

// Model values and squared distances of n points (x, observed, weights or nullptr for none,
// old_model, model, squares), each exactly as Fitting and GetSqDist form them, a square times
// its weight; a point beyond every segment end takes old_model. Returns nonzero when a value
// left the single range or a division was by zero.
using FitPointsFunction = int (*)(const double*, const float*, const double*, const float*,
                                  float*, double*, int, const SegmentTable&);
using FitPointsVariant = KernelVariant<FitPointsFunction>;
// The instruction-set variants of the kernel this processor runs, narrowest first; all give
// the same bits.
const std::vector<FitPointsVariant>& fit_points_variants();

// The running sum of GetSqDist: sum = float(double(sum) + square) after every addition, for
// squares >= 0 (weighted ones too), none of them NaN.
class SingleRunningSum {
public:
    // Adds n squares in order; after an overflow of the single range it adds nothing more.
    void add(const double* squares, int n);
    bool overflowed() const noexcept { return m_overflow; }
    float value() const noexcept { return static_cast<float>(m_biased - m_magic); }

private:
    void enter_binade(float sum);

    double m_biased = 0.0;                 // the sum + m_magic, exactly
    double m_magic = 0.0;                  // 1.5 * 2^52 single steps of the sum's binade; 0 = none
    double m_square_magic = 0.0;           // 1.5 * 2^52 double steps of that binade
    double m_square_limit = -HUGE_VAL;     // squares below it round by m_square_magic
    double m_biased_limit = -HUGE_VAL;     // biased sums below it stay in the binade
    bool m_overflow = false;
};

}  // namespace tolvenar
