// SPDX-License-Identifier: GPL-3.0-or-later
// Every abrupt transition of a long series: its noise estimated from the series, the exact
// penalised continuous segmentation under that noise, and the events read from the segments.
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

// The default penalty per break is this times ln n, in whitened squared residuals: red noise
// alone then gives an event in about 5 % of series (bench/scan_study calibrates it).
inline constexpr double kPenaltyPerLogPoints = 3.0;

struct ScanSettings {
    std::size_t min_size = 1;       // least points a segment holds after its first knot
    std::optional<double> penalty;  // per break, whitened squared residuals; unset: the default
    std::size_t max_events = 0;     // keep the largest this many (by |amplitude|); 0: all
    EventRule rule;
    const std::atomic<bool>* stop = nullptr;  // set: returns early, stopped, without events
};

struct ScanResult {
    NoiseEstimate noise;
    double penalty = 0.0;
    Segmentation segmentation;
    std::vector<Event> events;  // x order
    bool stopped = false;
};

// x strictly increasing (gaps left out), y finite, sizes equal; else std::invalid_argument.
ScanResult scan_series(std::span<const double> x, std::span<const double> y,
                       const ScanSettings& settings = {});

}  // namespace tolvenar::scan
