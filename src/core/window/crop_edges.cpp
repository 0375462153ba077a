// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/crop_edges.h"

#include "core/runtime/numbers.h"
#include "core/window/crop.h"

#include <cmath>

namespace tolvenar {

CropEdges crop_edges(double from, double to)
{
    const double span = to - from;
    CropEdges edges;
    edges.from = from;
    edges.to = to;
    edges.origin = crop_origin(from, span);
    edges.left = edges.origin == 0.0 ? static_cast<double>(to_single(from)) : from;
    edges.width = to_single(span);
    if (edges.origin != 0.0 && static_cast<double>(edges.width) < span)
        edges.width = std::nextafter(edges.width, INFINITY);
    return edges;
}

}  // namespace tolvenar
