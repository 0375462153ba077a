// SPDX-License-Identifier: GPL-3.0-or-later
// Every abrupt transition of a long series: its noise estimated from the series, the exact
// penalised continuous segmentation under that noise, and the events read from the segments.
// A series of more than kBlockedAbove points is segmented on the means of blocks of points (at
// most kBlocks of them, their own noise estimated from them): its events' onsets and ends are
// then known to a block (the refinement of each on its crop places them on the points).
#pragma once

#include "core/scan/events.h"
#include "core/scan/scan_noise.h"
#include "core/scan/segmentation.h"

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tolvenar::scan {

// The default penalty per break is this times ln n times (1 + phi) / (1 - phi), in squared
// residuals over the noise's variance: a break's gain grows with the noise's persistence as the
// variance of a mean over many points does. Red noise alone then gives an event in at most about
// 5 % of series: 6.5 % at phi 0.88 on uneven x, under 1 % at phi 0.72 and below
// (bench/scan_study calibrate, docs/event_scan.md).
inline constexpr double kPenaltyPerLogPoints = 2.25;

inline constexpr std::size_t kBlockedAbove = 10000;  // points; a longer series goes to block means
inline constexpr std::size_t kBlocks = 5000;         // block means at most

// The default penalty for n points of noise whose AR(1) coefficient at the mean gap is phi.
double default_penalty(std::size_t n, double phi);

struct ScanSettings {
    std::size_t min_size = 1;       // least points a segment holds after its first knot
    // Per break, in squared residuals over the noise variance (of the block means when the
    // series is segmented on them); unset: default_penalty.
    std::optional<double> penalty;
    std::size_t max_events = 0;     // keep the largest this many (by |amplitude|); 0: all
    EventRule rule;
    const std::atomic<bool>* stop = nullptr;  // set: returns early, stopped, without events
};

struct ScanResult {
    NoiseEstimate noise;            // of the points
    double penalty = 0.0;           // per break of `segmentation`
    std::size_t block = 1;          // points per mean the segmentation ran on; 1: the points
    Segmentation segmentation;      // knots index the block means when block > 1
    std::vector<Event> events;      // x order, on the points
    bool stopped = false;
};

// x strictly increasing (gaps left out), y finite, sizes equal; else std::invalid_argument.
ScanResult scan_series(std::span<const double> x, std::span<const double> y,
                       const ScanSettings& settings = {});

}  // namespace tolvenar::scan
