// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tolvenar {

// Local time of day as a fraction of a day, in whole seconds (0 at midnight, 86399/86400 last).
double time_of_day();

// Seconds on a monotonic clock with sub-second resolution; only differences mean anything.
double monotonic_seconds();

}  // namespace tolvenar
