// SPDX-License-Identifier: GPL-3.0-or-later
// The per-point kernel of BatchScorer: sixteen candidates scored together, one per lane. Plain
// arrays only, so that the instruction-set variants share no inline code with the rest.
#pragma once

namespace tolvenar {

inline constexpr int kLanes = 16;

// Segment k = 0..4 of the candidate in lane l, each value held in double. Lanes past the last
// candidate repeat it.
struct LaneSegments {
    alignas(64) double end[5][kLanes];      // ModelX(k + 2): a point t <= end lies on k or before
    alignas(64) double start_x[5][kLanes];  // ModelX(k + 1)
    alignas(64) double start_y[5][kLanes];  // ModelY(k + 1)
    alignas(64) double dy[5][kLanes];       // ModelY(k + 2) - ModelY(k + 1) rounded to single
    alignas(64) double dx[5][kLanes];       // ModelX(k + 2) - ModelX(k + 1) rounded to single
};

struct LanePoints {
    const double* x = nullptr;         // model x of each cropped point
    const float* observed = nullptr;   // its y in single
    const double* weight = nullptr;    // its weight 1 / sigma^2; nullptr: every point 1
    int count = 0;
    bool ascending = false;            // x never falls from one point to the next (no NaN)
};

// Adds each lane's squared distances (each times its point's weight, in double) to sums[l] in
// point order, rounded to single after every addition. A point beyond a lane's last vertex takes the value the lane before it has there;
// lane 0 takes kept[i], the value the candidate before the sixteen left. Point i's value in the
// last lane is written to kept[i] where x > keep_above (no later candidate reads the others).
// A fault of the reference (a zero divisor, a value beyond the single range) leaves a sum that
// is not finite.
using ScoreLanesFunction = void (*)(const LanePoints& points, const LaneSegments& segments,
                                    float* kept, double keep_above, float* sums);

namespace lanes {
void score_portable(const LanePoints&, const LaneSegments&, float*, double, float*);
void score_avx2(const LanePoints&, const LaneSegments&, float*, double, float*);
void score_avx512(const LanePoints&, const LaneSegments&, float*, double, float*);
}  // namespace lanes

}  // namespace tolvenar
