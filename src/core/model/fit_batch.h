// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting + GetSqDist for many candidates in a row, as a search draws them: each sum is the one
// the reference routines of fit.h give when the candidates are fitted one after the other, a
// point beyond a candidate's last vertex keeping the value an earlier one left there.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/fit_lanes.h"
#include "core/model/kernel_variant.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tolvenar {

// The largest ModelX(k) of vertices 2..6: points right of it lie beyond the candidate.
double last_end(const Vertices& x);

// The candidate's value at model x t as Fitting forms it; nullopt beyond its last vertex. Only
// for a candidate that Fitting takes without a fault there.
std::optional<float> model_value(double t, const Vertices& x, const Vertices& y);

using LaneVariant = KernelVariant<ScoreLanesFunction>;
// The instruction-set variants of the lane kernel this processor runs, narrowest first; all
// give the same bits.
const std::vector<LaneVariant>& lane_variants();

class BatchScorer {
public:
    BatchScorer();  // the widest variant this processor runs
    explicit BatchScorer(ScoreLanesFunction lanes) : m_lanes(lanes) {}

    // Reads the cropped points and their weights. False when only the reference can fit this
    // crop: a text cell, crop arrays or weights too short, an x that is not finite.
    bool read_crop(const EngineState& state);

    std::int32_t count() const noexcept { return static_cast<std::int32_t>(m_x.size()); }
    const std::vector<float>& observed() const noexcept { return m_observed; }
    const std::vector<double>& weights() const noexcept { return m_weights; }  // empty: none

    // sums[c] for candidates c = 0..count - 1 fitted in this order. kept holds CropModel(1..n)
    // before the first and is used up (only the values later candidates read are kept). A sum
    // that is not finite marks a candidate the reference faults on; later sums then mean nothing.
    void score(const Vertices* x, const Vertices* y, int count, std::vector<float>& kept,
               float* sums) const;

    // CropModel(1..n) into model after candidates 0..last (none faulting) were fitted in this
    // order over `before`.
    void model_after(const Vertices* x, const Vertices* y, int last, const float* before,
                     float* model) const;

    // The number of cropped points with lo < x <= hi.
    std::int64_t points_between(double lo, double hi) const;

private:
    ScoreLanesFunction m_lanes;
    std::vector<double> m_x;         // model x of point i + 1
    std::vector<float> m_observed;   // y of point i + 1 in single
    std::vector<double> m_weights;   // weight of point i + 1; empty: every point 1
    bool m_ascending = false;
    std::vector<double> m_sorted_x;  // m_x ascending
    std::vector<std::int32_t> m_order;  // point of m_sorted_x[k]
};

}  // namespace tolvenar
