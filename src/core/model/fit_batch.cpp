// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/fit_batch.h"

#include "core/model/fit.h"

#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tolvenar {

namespace {

std::vector<LaneVariant> supported_lane_variants()
{
    std::vector<LaneVariant> variants{{"portable", &lanes::score_portable}};
#ifdef TOLVENAR_WIDE_LANES
    const InstructionSets sets = instruction_sets();
    if (sets.avx2)
        variants.push_back({"avx2", &lanes::score_avx2});
    if (sets.avx512)
        variants.push_back({"avx512", &lanes::score_avx512});
#endif
    return variants;
}

// Candidate c's segments in lane l.
void fill_lane(LaneSegments& s, int l, const Vertices& x, const Vertices& y)
{
    for (int k = 0; k < 5; ++k) {
        s.end[k][l] = x[k + 2];
        s.start_x[k][l] = x[k + 1];
        s.start_y[k][l] = y[k + 1];
        s.dy[k][l] = y[k + 2] - y[k + 1];  // single subtraction
        s.dx[k][l] = x[k + 2] - x[k + 1];
    }
}

}  // namespace

double last_end(const Vertices& x)
{
    return std::max({x[2], x[3], x[4], x[5], x[6]});
}

std::optional<float> model_value(double t, const Vertices& x, const Vertices& y)
{
    for (int k = 1; k <= 5; ++k) {
        if (t <= static_cast<double>(x[k + 1])) {
            const float dy = y[k + 1] - y[k];
            const float dx = x[k + 1] - x[k];
            return static_cast<float>(static_cast<double>(y[k]) +
                                      static_cast<double>(dy) *
                                          ((t - static_cast<double>(x[k])) / dx));
        }
    }
    return std::nullopt;
}

const std::vector<LaneVariant>& lane_variants()
{
    static const std::vector<LaneVariant> variants = supported_lane_variants();
    return variants;
}

BatchScorer::BatchScorer() : m_lanes(lane_variants().back().function) {}

bool BatchScorer::read_crop(const EngineState& state)
{
    m_x.clear();
    m_observed.clear();
    m_weights.clear();
    const std::int32_t n = state.CropCount;
    const auto needed = static_cast<std::size_t>(std::max(n, 0)) + 1;
    if (n < 0 || state.CropObserved.size() < needed || state.CropModel.size() < needed)
        return false;
    try {
        if (const double* weights = crop_weights(state); weights && n > 0)
            m_weights.assign(weights, weights + n);
        for (std::int32_t i = 1; i <= n; ++i) {
            const std::int64_t row = static_cast<std::int64_t>(state.CropStart) + i;
            m_observed.push_back(cell_single(state.data.y_cell(row)));
            m_x.push_back(cell_number(state.data.x_cell(row)) - state.CropOrigin);
            if (!std::isfinite(m_x.back()))
                return false;
        }
    } catch (const Fault&) {
        return false;
    }
    m_ascending = std::is_sorted(m_x.begin(), m_x.end());
    m_order.resize(m_x.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    if (!m_ascending)
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&](std::int32_t a, std::int32_t b) { return m_x[a] < m_x[b]; });
    m_sorted_x.resize(m_x.size());
    for (std::size_t k = 0; k < m_order.size(); ++k)
        m_sorted_x[k] = m_x[m_order[k]];
    return true;
}

void BatchScorer::score(const Vertices* x, const Vertices* y, int count,
                        std::vector<float>& kept, float* sums) const
{
    // The points each group must hand on: those right of the last vertex of some later candidate.
    std::vector<double> later_end(static_cast<std::size_t>(count) + 1, HUGE_VAL);
    for (int c = count - 1; c >= 0; --c)
        later_end[c] = std::min(later_end[c + 1], last_end(x[c]));

    const LanePoints points{m_x.data(), m_observed.data(),
                            m_weights.empty() ? nullptr : m_weights.data(),
                            static_cast<int>(m_x.size()), m_ascending};
    LaneSegments segments;
    float lane_sums[kLanes];
    for (int first = 0; first < count; first += kLanes) {
        const int in_group = std::min(kLanes, count - first);
        for (int l = 0; l < kLanes; ++l) {
            const int c = first + std::min(l, in_group - 1);  // spare lanes repeat the last
            fill_lane(segments, l, x[c], y[c]);
        }
        m_lanes(points, segments, kept.data(), later_end[first + in_group], lane_sums);
        std::copy(lane_sums, lane_sums + in_group, sums + first);
    }
}

void BatchScorer::model_after(const Vertices* x, const Vertices* y, int last,
                              const float* before, float* model) const
{
    std::copy(before, before + m_x.size(), model);
    // Backwards: a candidate sets the points up to its last vertex not set by a later one.
    double set_up_to = -HUGE_VAL;
    for (int c = last; c >= 0; --c) {
        const double end = last_end(x[c]);
        if (!(end > set_up_to))
            continue;
        const auto from = std::upper_bound(m_sorted_x.begin(), m_sorted_x.end(), set_up_to);
        const auto to = std::upper_bound(from, m_sorted_x.end(), end);
        for (auto k = from; k != to; ++k) {
            const std::int32_t i = m_order[static_cast<std::size_t>(k - m_sorted_x.begin())];
            model[i] = *model_value(m_x[i], x[c], y[c]);
        }
        set_up_to = end;
    }
}

std::int64_t BatchScorer::points_between(double lo, double hi) const
{
    if (!(hi > lo))
        return 0;
    return std::upper_bound(m_sorted_x.begin(), m_sorted_x.end(), hi) -
           std::upper_bound(m_sorted_x.begin(), m_sorted_x.end(), lo);
}

}  // namespace tolvenar
