// SPDX-License-Identifier: GPL-3.0-or-later
// Which breaks of a segmentation form abrupt transitions and which are a slow drift. A segment is
// steep when its slope is at least `steepness` times that of its flatter neighbour (the local
// background). It grows into a run over its neighbours rising (or falling) with it at least
// 1 / steepness as steeply as the run's steepest segment; the run is one transition, kept as an
// event when its level change beyond the background's own slope over it (the flatter of the
// segments either side) is at least `amplitude` noise standard deviations. A step is a steep
// segment one gap long; a sawtooth's slow limb, beside far steeper segments, is background, and
// so is a drift whose slope changes by less than `steepness` from segment to segment.
#pragma once

#include "core/scan/segmentation.h"

#include <cstddef>
#include <span>
#include <vector>

namespace tolvenar::scan {

struct EventRule {
    double steepness = 3.0;  // least slope, in multiples of the flatter neighbour's
    double amplitude = 2.0;  // least level change beyond the background, in noise sd
};

struct Event {
    std::size_t onset_index = 0, end_index = 0;  // the knots bounding the transition
    double onset = 0.0, end = 0.0;               // their x
    double level_before = 0.0, level_after = 0.0;  // the fitted curve at onset and at end
    double amplitude = 0.0;                        // level_after - level_before
    // The crop to refine it on: from the previous event's end (or the series' first x) to the
    // next event's onset (or the series' last x).
    double crop_from = 0.0, crop_to = 0.0;
};

// The events of segmentation `s` of a series at `x`, in x order, with their crops; noise_sd the
// noise's marginal standard deviation.
std::vector<Event> find_events(std::span<const double> x, const Segmentation& s, double noise_sd,
                               const EventRule& rule = {});

// Each event's crop between its neighbours in `events` (x order), the first from `first` and
// the last to `last`.
void set_crops(std::vector<Event>& events, double first, double last);

}  // namespace tolvenar::scan
