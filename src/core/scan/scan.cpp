// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/scan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace tolvenar::scan {

namespace {

// The series segmented and its events read, at the noise given; n_penalty the size the default
// penalty is set for.
struct Pass {
    double penalty = 0.0;
    Segmentation segmentation;
    std::vector<Event> events;
};

Pass exact_pass(std::span<const double> x, std::span<const double> y, const ScanSettings& settings,
                const NoiseEstimate& noise, std::size_t n_penalty)
{
    Pass pass;
    pass.penalty = settings.penalty.value_or(default_penalty(n_penalty, noise.phi));
    SegmentationSettings s;
    // A series without measurable noise (constant, or too short) is segmented at unit variance.
    s.variance = noise.variance > 0.0 ? noise.variance : 1.0;
    s.penalty = pass.penalty;
    s.min_size = settings.min_size;
    s.stop = settings.stop;
    pass.segmentation = segment(x, y, s);
    if (!pass.segmentation.stopped)
        pass.events = find_events(x, pass.segmentation, std::sqrt(s.variance), settings.rule);
    return pass;
}

// Means of x and y over consecutive blocks of `size` points (the last block may be shorter).
std::pair<std::vector<double>, std::vector<double>> block_means(std::span<const double> x,
                                                                std::span<const double> y,
                                                                std::size_t size)
{
    std::vector<double> mx, my;
    for (std::size_t i = 0; i < x.size(); i += size) {
        const std::size_t end = std::min(x.size(), i + size);
        double sx = 0.0, sy = 0.0;
        for (std::size_t j = i; j < end; ++j) {
            sx += x[j];
            sy += y[j];
        }
        mx.push_back(sx / static_cast<double>(end - i));
        my.push_back(sy / static_cast<double>(end - i));
    }
    return {std::move(mx), std::move(my)};
}

// An event found on block means, on the points: its knots at the middle points of their blocks.
void place_on_points(Event& e, std::span<const double> x, std::size_t block)
{
    e.onset_index = std::min(x.size() - 1, e.onset_index * block + block / 2);
    e.end_index = std::min(x.size() - 1, e.end_index * block + block / 2);
}

}  // namespace

double default_penalty(std::size_t n, double phi)
{
    return kPenaltyPerLogPoints * std::log(static_cast<double>(std::max<std::size_t>(n, 2))) *
           (1.0 + phi) / (1.0 - phi);
}

ScanResult scan_series(std::span<const double> x, std::span<const double> y,
                       const ScanSettings& settings)
{
    if (x.size() != y.size())
        throw std::invalid_argument("scan: x and y of one size");
    const std::size_t n = x.size();
    ScanResult result;
    result.noise = estimate_noise(x, y);
    result.block = n > kBlockedAbove ? (n + kBlocks - 1) / kBlocks : 1;
    Pass pass;
    if (result.block == 1) {
        pass = exact_pass(x, y, settings, result.noise, n);
    } else {
        const auto [bx, by] = block_means(x, y, result.block);
        pass = exact_pass(bx, by, settings, estimate_noise(bx, by), bx.size());
        for (Event& e : pass.events)
            place_on_points(e, x, result.block);
    }
    result.penalty = pass.penalty;
    result.segmentation = std::move(pass.segmentation);
    if (result.segmentation.stopped || (settings.stop && settings.stop->load())) {
        result.stopped = true;
        return result;
    }
    result.events = std::move(pass.events);
    if (settings.max_events > 0 && result.events.size() > settings.max_events) {
        std::stable_sort(result.events.begin(), result.events.end(),
                         [](const Event& a, const Event& b) {
                             return std::abs(a.amplitude) > std::abs(b.amplitude);
                         });
        result.events.resize(settings.max_events);
        std::sort(result.events.begin(), result.events.end(),
                  [](const Event& a, const Event& b) { return a.onset < b.onset; });
    }
    if (n > 0)
        set_crops(result.events, x.front(), x.back());
    return result;
}

}  // namespace tolvenar::scan
