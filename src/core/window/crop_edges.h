// SPDX-License-Identifier: GPL-3.0-or-later
// The crop window from its two edges in data x, as both the window and the command line take it.
#pragma once

#include <limits>

namespace tolvenar {

// "No edge given" for a crop's edges in double.
inline constexpr double kNoEdge = std::numeric_limits<double>::quiet_NaN();

struct CropEdges {
    double left = 0.0;    // the crop's left edge: a single near zero, the data x itself far from it
    float width = 0.0f;   // the working plot's x extent
    double origin = 0.0;  // the crop's model-x origin (crop_origin)
    double from = kNoEdge;  // the left edge as given, in double (a data x stays in)
    double to = kNoEdge;    // the right edge as given, in double
};

// The crop from `from` to `to` (to > from). Near zero, as the plots hold it: left = single(from),
// width = single(to - from) with the difference in double. Far from zero: left = from and the
// origin, width = to - from rounded up to a single, so that a point at `to` stays in the crop.
// from and to are kept as given. A value beyond the single range raises Overflow.
CropEdges crop_edges(double from, double to);

}  // namespace tolvenar
