// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/scan.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvenar::scan {

ScanResult scan_series(std::span<const double> x, std::span<const double> y,
                       const ScanSettings& settings)
{
    ScanResult result;
    const std::size_t n = x.size();
    result.noise = estimate_noise(x, y);
    result.penalty = settings.penalty.value_or(
        kPenaltyPerLogPoints * std::log(static_cast<double>(std::max<std::size_t>(n, 2))));
    SegmentationSettings segmentation;
    // A series without measurable noise (constant, or too short) is segmented at unit variance.
    segmentation.variance = result.noise.variance > 0.0 ? result.noise.variance : 1.0;
    segmentation.tau = result.noise.tau;
    segmentation.penalty = result.penalty;
    segmentation.min_size = settings.min_size;
    segmentation.stop = settings.stop;
    result.segmentation = segment(x, y, segmentation);
    if (result.segmentation.stopped) {
        result.stopped = true;
        return result;
    }
    result.events = find_events(x, result.segmentation, std::sqrt(segmentation.variance),
                                settings.rule);
    if (settings.max_events > 0 && result.events.size() > settings.max_events) {
        std::vector<Event> largest = result.events;
        std::stable_sort(largest.begin(), largest.end(), [](const Event& a, const Event& b) {
            return std::abs(a.amplitude) > std::abs(b.amplitude);
        });
        largest.resize(settings.max_events);
        std::sort(largest.begin(), largest.end(),
                  [](const Event& a, const Event& b) { return a.onset < b.onset; });
        set_crops(largest, x.front(), x.back());
        result.events = std::move(largest);
    }
    return result;
}

}  // namespace tolvenar::scan
