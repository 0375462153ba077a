// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/fit_lanes_body.inl"

namespace tolvenar::lanes {

void score_avx2(const LanePoints& points, const LaneSegments& segments, float* kept,
                double keep_above, float* sums)
{
    score(points, segments, kept, keep_above, sums);
}

}  // namespace tolvenar::lanes
