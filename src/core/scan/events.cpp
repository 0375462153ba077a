// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scan/events.h"

#include <cmath>

namespace tolvenar::scan {

std::vector<Event> find_events(std::span<const double> x, const Segmentation& s, double noise_sd,
                               const EventRule& rule)
{
    std::vector<Event> events;
    if (s.knots.size() < 3)  // one segment: no background to stand out from
        return events;
    const std::size_t segments = s.knots.size() - 1;
    std::vector<double> slope(segments);
    for (std::size_t j = 0; j < segments; ++j)
        slope[j] = (s.values[j + 1] - s.values[j]) / (x[s.knots[j + 1]] - x[s.knots[j]]);
    // The flatter of the slopes of segments `left` and `right` (either may be missing).
    auto flatter = [&](std::size_t left, std::size_t right) {
        if (left >= segments)
            return slope[right];
        if (right >= segments)
            return slope[left];
        return std::abs(slope[left]) <= std::abs(slope[right]) ? slope[left] : slope[right];
    };
    auto steep = [&](std::size_t j) {
        return slope[j] != 0.0 &&
               std::abs(slope[j]) >= rule.steepness * std::abs(flatter(j - 1, j + 1));
    };

    for (std::size_t j = 0, floor = 0; j < segments;) {
        if (!steep(j)) {
            ++j;
            continue;
        }
        // The run grows over its same-signed neighbours at least 1 / steepness as steep as its
        // steepest segment (a sigmoid in several segments), not over a slow limb beside it, nor
        // back into the run before it.
        std::size_t first = j, last = j;
        double peak = std::abs(slope[j]);
        auto joins = [&](std::size_t k) {
            return k < segments && std::signbit(slope[k]) == std::signbit(slope[j]) &&
                   std::abs(slope[k]) * rule.steepness >= peak;
        };
        for (bool grown = true; grown;) {
            grown = false;
            if (first > floor && joins(first - 1)) {
                peak = std::max(peak, std::abs(slope[--first]));
                grown = true;
            }
            if (joins(last + 1)) {
                peak = std::max(peak, std::abs(slope[++last]));
                grown = true;
            }
        }
        const std::size_t before = first == 0 ? segments : first - 1;
        const std::size_t after = last + 1;
        const double background =
            (before < segments || after < segments) ? flatter(before, after) : 0.0;
        const double change = s.values[last + 1] - s.values[first];
        const double excess = change - background * (x[s.knots[last + 1]] - x[s.knots[first]]);
        if (std::abs(excess) >= rule.amplitude * noise_sd &&
            std::signbit(excess) == std::signbit(slope[j])) {
            Event e;
            e.onset_index = s.knots[first];
            e.end_index = s.knots[last + 1];
            e.onset = x[e.onset_index];
            e.end = x[e.end_index];
            e.level_before = s.values[first];
            e.level_after = s.values[last + 1];
            e.amplitude = change;
            events.push_back(e);
        }
        j = floor = last + 1;
    }
    if (!x.empty())
        set_crops(events, x.front(), x.back());
    return events;
}

void set_crops(std::vector<Event>& events, double first, double last)
{
    for (std::size_t k = 0; k < events.size(); ++k) {
        events[k].crop_from = k == 0 ? first : events[k - 1].end;
        events[k].crop_to = k + 1 == events.size() ? last : events[k + 1].onset;
    }
}

}  // namespace tolvenar::scan
