// SPDX-License-Identifier: GPL-3.0-or-later
// The noise of a long series estimated from the series itself, before any fit: an AR(1) in
// continuous time (persistence tau in x units) from the spread of its differences between
// neighbours and between points two apart. Differences drop the level, their median-based first
// pass ignores the few that straddle a step or a steep ramp, and the mean slope is taken out so
// that a slow drift does not count as noise.
#pragma once

#include <span>

namespace tolvenar::scan {

struct NoiseEstimate {
    double variance = 0.0;  // marginal variance, y units squared
    double tau = 0.0;       // persistence time in x units; 0: independent errors
    double phi = 0.0;       // the AR(1) coefficient at the mean gap, exp(-mean gap / tau)
};

// The AR(1) coefficient at the mean gap is capped here: beyond it the series is taken as nearly
// a random walk, and its marginal variance is no longer told apart from its drift.
inline constexpr double kMaxPersistence = 0.995;

// x strictly increasing, at least 4 points (else all zero).
NoiseEstimate estimate_noise(std::span<const double> x, std::span<const double> y);

}  // namespace tolvenar::scan
