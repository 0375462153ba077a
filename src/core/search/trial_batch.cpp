// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/trial_batch.h"

#include "core/model/engine_state.h"
#include "core/runtime/fault.h"
#include "core/runtime/pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace tolvenar {

namespace {

constexpr int kFewestPerThread = 64;  // trials below which a thread costs more than it saves
constexpr int kChunksPerThread = 16;

// What generation reads and writes, without the table and the crop arrays.
EngineState generation_state(const EngineState& s)
{
    EngineState g;
    g.CropOrigin = s.CropOrigin;
    g.CropMaxY = s.CropMaxY;
    g.CropMinY = s.CropMinY;
    g.ModelX = s.ModelX;
    g.ModelY = s.ModelY;
    copy_boxes(s, g);
    g.NodeCount = s.NodeCount;
    return g;
}

// False for any fault: such a candidate goes the plain way.
bool generate(EngineState& g, const GenerateControls& controls, bool scale_to_plot,
              RandomSource& random)
{
    try {
        GenerateModel(g, controls, random);
        if (scale_to_plot)
            scale_model_to_plot(g, controls.scale_left, controls.scale_width);
        return true;
    } catch (const Fault&) {
        return false;
    }
}

bool all_finite(const Vertices& x, const Vertices& y)
{
    for (int k = 1; k <= 6; ++k)
        if (!std::isfinite(x[k]) || !std::isfinite(y[k]))
            return false;
    return true;
}

}  // namespace

bool TrialBatch::prepare(const EngineState& state)
{
    if (!m_scorer.read_crop(state))
        return false;
    m_points = m_scorer.count();
    m_largest_observed = 0.0;
    for (const float y : m_scorer.observed())
        m_largest_observed = std::max(m_largest_observed, std::fabs(static_cast<double>(y)));
    const std::vector<double>& weights = m_scorer.weights();
    m_total_weight = weights.empty() ? static_cast<double>(m_points) : 0.0;
    m_least_weight = weights.empty() ? 1.0 : HUGE_VAL;
    for (const double w : weights) {
        m_total_weight += w;
        m_least_weight = std::min(m_least_weight, w);
    }
    return true;
}

bool TrialBatch::r_cannot_fault(float sq_dist) const
{
    // Every term GetR sums (products and squares of distances from the means) is then at most
    // (2 * bound)^2 times its weight, and all of them together far below the single range; the
    // weights' sum, GetR's count, is a normal single.
    const double bound =
        m_largest_observed + std::sqrt(static_cast<double>(sq_dist) / m_least_weight);
    return m_points > 0 && m_total_weight >= 1e-30 && m_total_weight <= 1e30 &&
           4.0 * bound * bound * std::max(m_total_weight, 1.0) < 1e36;
}

int TrialBatch::draw(const EngineState& state, const GenerateControls& controls,
                     bool scale_to_plot, const RandomSource& random, int count, int threads)
{
    {  // the draws of a trial, from the first one's candidate
        EngineState probe = generation_state(state);
        RandomSource stream = random;
        try {
            GenerateModel(probe, controls, stream);
            if (scale_to_plot)
                scale_model_to_plot(probe, controls.scale_left, controls.scale_width);
        } catch (const Fault& fault) {
            if (!fault.is_zero_divisor())
                return 0;  // the search ends there, the plain way
        }
        m_draws_per_trial = stream.draws() - random.draws();
    }
    m_before.assign(state.CropModel.begin() + 1, state.CropModel.begin() + 1 + m_points);
    m_x.resize(static_cast<std::size_t>(count));
    m_y.resize(static_cast<std::size_t>(count));
    m_sums.resize(static_cast<std::size_t>(count));

    // A few chunks per thread, taken in order by whichever thread is free: a thread slowed by
    // other work on its core holds up little.
    const int parts = std::max(1, std::min(threads, count / kFewestPerThread));
    const int chunks =
        parts == 1 ? 1 : std::min(count / kFewestPerThread, kChunksPerThread * parts);
    const int per_chunk = (count + chunks - 1) / chunks;
    const int size = (per_chunk + kLanes - 1) / kLanes * kLanes;
    m_chunks.clear();
    for (int first = 0; first < count; first += size)
        m_chunks.push_back({first, std::min(count, first + size), 0, {}});
    std::atomic<std::size_t> next_chunk = 0;
    const auto shares = static_cast<std::size_t>(parts);
    parallel_for(shares, shares, [&](std::size_t) {
        Stream stream{random, 0};
        for (std::size_t k = next_chunk++; k < m_chunks.size(); k = next_chunk++)
            run_chunk(m_chunks[k], stream, state, controls, scale_to_plot, random);
    });

    // In order. A chunk started from the values before the batch; where an earlier chunk set a
    // point that one of its candidates reads beyond its last vertex, it is scored again.
    int ready = 0;
    double earlier_end = -HUGE_VAL;  // the right-most last vertex of the trials taken
    for (Chunk& chunk : m_chunks) {
        if (chunk.first != ready || chunk.ready == 0)
            break;
        if (chunk.first > 0 &&
            m_scorer.points_between(last_end(m_x[chunk.first]), earlier_end) > 0) {
            std::vector<float> kept(static_cast<std::size_t>(m_points));
            m_scorer.model_after(m_x.data(), m_y.data(), chunk.first - 1, m_before.data(),
                                 kept.data());
            m_scorer.score(&m_x[chunk.first], &m_y[chunk.first], chunk.ready, kept,
                           &m_sums[chunk.first]);
            chunk.ready = first_unfinished(chunk, chunk.first + chunk.ready) - chunk.first;
        }
        for (int t = chunk.first; t < chunk.first + chunk.ready; ++t)
            earlier_end = std::max(earlier_end, last_end(m_x[t]));
        ready += chunk.ready;
        if (chunk.first + chunk.ready != chunk.end)
            break;
    }
    return ready;
}

void TrialBatch::run_chunk(Chunk& chunk, Stream& position, const EngineState& state,
                           const GenerateControls& controls, bool scale_to_plot,
                           const RandomSource& random)
{
    chunk.ready = 0;
    try {
        if (position.trial < 0 || position.trial > chunk.first)
            position = {random, 0};
        RandomSource& stream = position.source;
        stream.skip(static_cast<std::uint64_t>(chunk.first - position.trial) * m_draws_per_trial);
        position.trial = -1;  // until the chunk's trials are all drawn
        EngineState g = generation_state(state);
        if (chunk.first > 0) {
            // The candidate before is another thread's: one that still shows through is not
            // taken ahead.
            for (int k = 1; k <= 6; ++k)
                g.ModelX[k] = g.ModelY[k] = NAN;
        }
        int drawn = chunk.first;
        for (; drawn < chunk.end; ++drawn) {
            const std::uint64_t before = stream.draws();
            if (!generate(g, controls, scale_to_plot, stream) ||
                stream.draws() - before != m_draws_per_trial || !all_finite(g.ModelX, g.ModelY))
                break;
            m_x[static_cast<std::size_t>(drawn)] = g.ModelX;
            m_y[static_cast<std::size_t>(drawn)] = g.ModelY;
        }
        if (drawn == chunk.end) {
            chunk.after = stream;
            position.trial = chunk.end;
        }
        if (drawn > chunk.first) {
            std::vector<float> kept = m_before;
            m_scorer.score(&m_x[chunk.first], &m_y[chunk.first], drawn - chunk.first, kept,
                           &m_sums[chunk.first]);
        }
        chunk.ready = first_unfinished(chunk, drawn) - chunk.first;
    } catch (...) {  // out of memory: the plain way
        chunk.ready = 0;
        position.trial = -1;
    }
}

int TrialBatch::first_unfinished(const Chunk& chunk, int drawn) const
{
    for (int t = chunk.first; t < drawn; ++t)
        if (!std::isfinite(m_sums[static_cast<std::size_t>(t)]))
            return t;
    return drawn;
}

void TrialBatch::restore_model(EngineState& state, int trial) const
{
    if (trial < 0)
        std::copy(m_before.begin(), m_before.end(), state.CropModel.begin() + 1);
    else
        m_scorer.model_after(m_x.data(), m_y.data(), trial, m_before.data(),
                             state.CropModel.data() + 1);
}

RandomSource TrialBatch::source_after(const RandomSource& start, int trial) const
{
    for (const Chunk& chunk : m_chunks)
        if (chunk.end == trial + 1 && chunk.ready == chunk.end - chunk.first)
            return chunk.after;
    RandomSource stream = start;
    stream.skip(static_cast<std::uint64_t>(trial + 1) * m_draws_per_trial);
    return stream;
}

}  // namespace tolvenar
