// SPDX-License-Identifier: GPL-3.0-or-later
// Where a picture's axes carry their tick marks and what the marks say: plain numbers at 1, 2
// or 5 times a power of ten, dates at whole hours, days, months or years written in the file's
// own form.
#pragma once

#include "core/data/x_form.h"

#include <string>
#include <vector>

namespace tolvenar::plot {

struct Tick {
    double at = 0.0;    // the value marked, in the axis' own units
    std::string label;  // as the axis writes it
};

// The ticks within [lo, hi] (either order) at the widest step of 1, 2 or 5 times a power of ten
// that still marks `least` of them; labels with the decimals that step needs. None for a range
// that is empty or not finite.
std::vector<Tick> number_ticks(double lo, double hi, int least = 4);

// The ticks of an x axis over [lo, hi] in the form's x: number_ticks for plain numbers; for
// dates (x in days from the first data row) the widest of whole hours (date-times only), days,
// months or years of the file's clock that marks `least`, each written in the file's own form,
// a midnight of a date-time as its date alone.
std::vector<Tick> x_ticks(double lo, double hi, const XForm& form, int least = 4);

}  // namespace tolvenar::plot
