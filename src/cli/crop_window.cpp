// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/crop_window.h"

#include "cli/data_options.h"
#include "cli/refusals.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvenar::cli {

namespace {

Edge data_edge(const DataTable& table, std::int32_t row, std::string_view which,
               const XForm& form)
{
    const double x = cell_number(table.x_cell(row));
    return {x, std::string(which) + " (" + x_text(x, form) + ")", {}, false};
}

}  // namespace

CropWindow crop_window(const DataTable& table, const FitOptions& options, const XForm& form)
{
    const Edge from = options.from ? edge_in(*options.from, form)
                                   : data_edge(table, 1, "the first data x", form);
    const Edge to = options.to ? edge_in(*options.to, form)
                               : data_edge(table, table.DataCount, "the last data x", form);
    if (to.value < from.value)
        throw refused("the crop window's right edge, " + to.name +
                      ", lies left of its left edge, " + from.name);
    if (to.value == from.value)
        throw refused("the crop window has zero width: " + from.name + " and " + to.name +
                      " are equal");
    const double span = to.value - from.value;
    CropWindow window;
    window.from = from.value;
    window.to = to.value;
    window.origin = crop_origin(from.value, span);
    try {
        window.left = window.origin == 0.0 ? static_cast<double>(to_single(from.value))
                                           : from.value;
    } catch (const Fault&) {
        throw refused("the crop window's left edge, " + from.name +
                      ", lies beyond the single-precision range");
    }
    try {
        window.width = to_single(span);
    } catch (const Fault&) {
        throw refused("the crop window is wider than the single-precision range");
    }
    if (window.origin != 0.0 && static_cast<double>(window.width) < span)
        window.width = std::nextafter(window.width, INFINITY);
    if (window.width == 0.0f)
        throw refused("the crop window from " + from.name + " to " + to.name +
                      " has zero width in single precision");
    // The plot, and so a model's last vertex, reaches every row the crop keeps.
    window.width = covering_rows(table, {window.left, window.width, window.origin, window.from,
                                         window.to})
                       .width;
    return window;
}

void take_crop(FitSession& session, const CropWindow& window)
{
    const CropEdges edges{window.left, window.width, window.origin, window.from, window.to};
    try {
        // The edges as given keep every row they equal, whatever the plot's singles round to.
        session.crop_and_measure(edges);
    } catch (const Fault& fault) {
        throw refused(session.crop_refusal(edges, fault));
    }
    if (session.crop_info().points == 0)
        throw refused(empty_crop_refusal(window.left, window.width, window.origin));
}

}  // namespace tolvenar::cli
