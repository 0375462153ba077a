// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/job/crop_window.h"

#include "core/job/refusal.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvenar {

namespace {

Edge data_edge(const DataTable& table, std::int32_t row, std::string_view which,
               const XForm& form)
{
    const double x = cell_number(table.x_cell(row));
    return {x, std::string(which) + " (" + x_text(x, form) + ")", {}, false};
}

}  // namespace

Edge edge_in(const Edge& edge, const XForm& form)
{
    if (edge.date != form.is_date())
        throw refused(edge.name + " is " + (edge.date ? "a date" : "a number") +
                      ", but the file's x are " +
                      (edge.date ? "numbers" : "dates, written as " + x_text(0.0, form)));
    if (!edge.date)
        return edge;
    const std::optional<double> x = parse_x(edge.text, form);
    if (!x && parse_iso_time(edge.text))
        throw refused(edge.name + " has a zone, but the file's date-times have none");
    if (!x)  // Python's lo= and hi= come as text on a dated series, whatever was given
        throw refused(edge.name + " is not an ISO date, where the file's x are dates, written as " +
                      x_text(0.0, form));
    Edge in_days = edge;
    in_days.value = *x;
    return in_days;
}

CropEdges crop_window(const DataTable& table, const std::optional<Edge>& from_given,
                       const std::optional<Edge>& to_given, const XForm& form)
{
    const Edge from = from_given ? edge_in(*from_given, form)
                                 : data_edge(table, 1, "the first data x", form);
    const Edge to = to_given ? edge_in(*to_given, form)
                             : data_edge(table, table.DataCount, "the last data x", form);
    if (to.value < from.value)
        throw refused("the crop window's right edge, " + to.name +
                      ", lies left of its left edge, " + from.name);
    if (to.value == from.value)
        throw refused("the crop window has zero width: " + from.name + " and " + to.name +
                      " are equal");
    const double span = to.value - from.value;
    CropEdges window;
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
    window.width = covering_rows(table, window).width;
    return window;
}

void take_crop(FitSession& session, const CropEdges& edges)
{
    try {
        // The edges as given keep every row they equal, whatever the plot's singles round to.
        session.crop_and_measure(edges);
    } catch (const Fault& fault) {
        throw refused(session.crop_refusal(edges, fault));
    }
    if (session.crop_info().points == 0)
        throw refused(empty_crop_refusal(edges.left, edges.width, edges.origin));
}

}  // namespace tolvenar
