// SPDX-License-Identifier: GPL-3.0-or-later
// The crop window from its two edges in data x, as both the window and the command line take it.
#pragma once

namespace tolvenar {

struct CropEdges {
    double left = 0.0;    // the crop's left edge: a single near zero, the data x itself far from it
    float width = 0.0f;   // the working plot's x extent
    double origin = 0.0;  // the crop's model-x origin (crop_origin)
};

// The crop from `from` to `to` (to > from). Near zero, as the plots hold it: left = single(from),
// width = single(to - from) with the difference in double. Far from zero: left = from and the
// origin, width = to - from rounded up to a single, so that a point at `to` stays in the crop.
// A value beyond the single range raises Overflow.
CropEdges crop_edges(double from, double to);

}  // namespace tolvenar
