// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/crop_window.h"

#include "cli/refusals.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/window/crop.h"
#include "core/window/crop_scan.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvenar::cli {

namespace {

Edge data_edge(const DataTable& table, std::int32_t row, std::string_view which)
{
    const double x = cell_number(table.x_cell(row));
    return {x, std::string(which) + " (" + number_text(x) + ")"};
}

}  // namespace

CropWindow crop_window(const DataTable& table, const FitOptions& options)
{
    const Edge from = options.from ? *options.from : data_edge(table, 1, "the first data x");
    const Edge to = options.to ? *options.to : data_edge(table, table.DataCount, "the last data x");
    if (to.value < from.value)
        throw refused("the crop window's right edge, " + to.name +
                      ", lies left of its left edge, " + from.name);
    if (to.value == from.value)
        throw refused("the crop window has zero width: " + from.name + " and " + to.name +
                      " are equal");
    CropWindow window;
    try {
        window.left = to_single(from.value);
    } catch (const Fault&) {
        throw refused("the crop window's left edge, " + from.name +
                      ", lies beyond the single-precision range");
    }
    try {
        window.width = to_single(to.value - from.value);
    } catch (const Fault&) {
        throw refused("the crop window is wider than the single-precision range");
    }
    if (window.width == 0.0f)
        throw refused("the crop window from " + from.name + " to " + to.name +
                      " has zero width in single precision");
    return window;
}

void take_crop(EngineState& state, const CropWindow& window)
{
    try {
        crop_without_drawing(state, window.left, window.width);
    } catch (const Fault& fault) {
        std::string reason;
        if (fault.kind() == FaultKind::IndexOutOfRange)
            reason = "no data row at or right of the left edge " + number_text(window.left) +
                     " (the last data x is " +
                     number_text(cell_number(state.data.x_cell(state.data.DataCount))) + ")";
        else if (fault.kind() == FaultKind::Overflow && fault.where() == "CropCount") {
            const std::int64_t first = first_crop_row(state.data, window.left);
            const std::int64_t stop =
                crop_stop_row(state.data, first, window.left + window.width);
            reason = "more than 32767 points in the crop window (" +
                     std::to_string(stop - first) + ")";
        }
        else if (fault.kind() == FaultKind::Overflow)
            reason = "the crop window's right edge lies beyond the single-precision range";
        else
            reason = fault.what();
        throw refused("cannot crop: " + reason);
    }
}

}  // namespace tolvenar::cli
