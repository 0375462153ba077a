// SPDX-License-Identifier: GPL-3.0-or-later
// Trials of one run drawn and scored ahead, over several threads, for the search to take in
// order. A trial draws the same number of random numbers whatever its candidate, so each thread
// steps the stream to its first trial; a candidate that faults, or that would need what an
// earlier one left behind, is not taken ahead and goes the plain way.
#pragma once

#include "core/model/engine_state.h"
#include "core/model/fit_batch.h"
#include "core/model/generate.h"
#include "core/runtime/random_source.h"

#include <cstdint>
#include <vector>

namespace tolvenar {

class TrialBatch {
public:
    // Reads the state's crop; false when every trial must go the plain way.
    bool prepare(const EngineState& state);

    // Draws and scores up to `count` trials from `random`'s position (which it leaves) on up to
    // `threads` threads. Returns how many leading trials are ready: their candidates drawn and
    // scored without a fault, exactly as the plain way would.
    int draw(const EngineState& state, const GenerateControls& controls, bool scale_to_plot,
             const RandomSource& random, int count, int threads);

    const Vertices& x(int trial) const { return m_x[static_cast<std::size_t>(trial)]; }
    const Vertices& y(int trial) const { return m_y[static_cast<std::size_t>(trial)]; }
    float sum(int trial) const { return m_sums[static_cast<std::size_t>(trial)]; }
    const std::vector<float>& observed() const noexcept { return m_scorer.observed(); }

    // Whether GetR of a candidate with this sum of squares over the crop stays within the
    // single range, whatever its model values: each lies within sqrt(sum / w) of its point's y,
    // w its weight (1 without weights).
    bool r_cannot_fault(float sq_dist) const;

    // CropModel(1..n) after ready trials 0..trial (-1: as before the batch).
    void restore_model(EngineState& state, int trial) const;
    // The random source after ready trials 0..trial.
    RandomSource source_after(const RandomSource& start, int trial) const;

private:
    struct Chunk {
        int first = 0;
        int end = 0;    // one past its last trial
        int ready = 0;  // leading trials drawn and scored
        RandomSource after;  // the stream after its trials, when all are ready
    };
    struct Stream {  // a thread's random stream, at the start of trial `trial` (-1: unknown)
        RandomSource source;
        int trial = 0;
    };
    void run_chunk(Chunk& chunk, Stream& position, const EngineState& state,
                   const GenerateControls& controls, bool scale_to_plot,
                   const RandomSource& random);
    int first_unfinished(const Chunk& chunk, int drawn) const;

    BatchScorer m_scorer;
    std::int32_t m_points = 0;
    double m_largest_observed = 0.0;  // the largest |y| of the crop
    double m_total_weight = 0.0;      // the weights' sum; without weights the point count
    double m_least_weight = 1.0;      // the smallest weight; without weights 1
    std::vector<float> m_before;  // CropModel(1..n) before the batch
    std::uint64_t m_draws_per_trial = 0;
    std::vector<Vertices> m_x, m_y;
    std::vector<float> m_sums;
    std::vector<Chunk> m_chunks;
};

}  // namespace tolvenar
