// SPDX-License-Identifier: GPL-3.0-or-later
// One lag over many events: each event's lag weighted by how sure its own replicates make it,
// and an interval that also holds the spread between the events.
#pragma once

#include "core/job/fit_record.h"
#include "core/job/lag_job.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace tolvenar {

// One event's lag with its interval at the level the events share.
struct EventLag {
    double lag = 0.0;
    Range interval;
};

struct CombinedLag {
    double lag = 0.0;  // the inverse-variance weighted mean of the events' lags
    Range interval;    // of that mean, from the events' own spreads alone
    // Of the random-effects mean (DerSimonian and Laird): the events' spreads plus the variance
    // between events that their lags' scatter beyond those spreads shows.
    Range spread_interval;
    double between = 0.0;  // that variance between events (tau^2), 0 when none shows
    std::size_t events = 0;
};

// The lags of `events` combined at `level` (in (0, 1)). Each event's variance is read off its
// interval as a normal one: ((hi - lo) / (2 z))^2; an event whose interval has no width weighs
// as if it were a millionth of the narrowest other's; when none has a width, the plain mean,
// with the scatter between events alone in its spread interval. No events: all 0.
CombinedLag combine_lags(std::span<const EventLag> events, double level);

// The lags of one series and break point against one reference, combined over the files.
struct CombinedRow {
    std::string series;
    std::string to;
    int vertex = 0;
    CombinedLag combined;
};

// Each (series, to, vertex) of `events` (one list of lags a file) combined over the files whose
// lag of it has an interval, in the order they first come.
std::vector<CombinedRow> combine_over_events(std::span<const std::vector<Lag>> events,
                                             double level);

}  // namespace tolvenar
