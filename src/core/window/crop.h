// SPDX-License-Identifier: GPL-3.0-or-later
// The cropped segment: which data rows lie under the crop window, and the measurement of the
// cropped data's vertical extent that the working plot's drawing shares.
#pragma once

#include "core/data/data_table.h"
#include "core/runtime/fault.h"
#include "core/runtime/numbers.h"
#include "core/window/crop_edges.h"

#include <cstdint>
#include <string>

namespace tolvenar {

// The model-x origin of the crop window [left, left + width]: 0 while both edges lie within
// 1000 crop widths of zero, where single-precision model x resolve the crop as finely as the
// data; else the left edge, so that break points far from zero (Julian days, Unix seconds)
// still stand apart. A window without a positive finite extent keeps 0.
double crop_origin(double left, double width);

// A data x in model space: relative to the crop's origin, in single (Overflow beyond its range).
float model_x_of(double origin, double data_x);
// A model x in data units, in double: origin + x.
double data_x_of(double origin, float model_x);

// The rows under the crop window: cropped point k = 1..count is data row start + k.
struct CropRows {
    std::int32_t start = 0;  // CropStart
    std::int32_t end = 0;    // CropEnd: the row after the last cropped one, less one
    std::int32_t count = 0;  // CropCount
    double origin = 0.0;     // CropOrigin
};

// The rows under the crop window. A row x is in the window when x >= left and
// x - origin <= right, where right is left + width rounded to single at origin 0 and the width
// itself otherwise, so the plot's right edge and the crop's always agree. The edges as typed or
// defaulted, `from` and `to` in double (NaN: none), widen it by what the plot's single edges
// round away: x >= from and x <= to are in too, so an edge equal to a data x takes that row
// whatever its digits, and a crop that held its rows holds the same ones. Faults:
// IndexOutOfRange when no row up to the spare row reaches the left edge; Overflow when the right
// edge exceeds the single range at origin 0. Bisects when table.x_ascending.
CropRows crop_rows(const DataTable& table, double left, float width, double origin = 0.0,
                   double from = kNoEdge, double to = kNoEdge);
CropRows crop_rows(const DataTable& table, const CropEdges& edges);

// `edges` with the width near zero rounded up, one single at a time, until the plot's single
// right edge reaches the last row that `to` (the right edge as given) keeps: every cropped point
// then lies at or left of a model's last vertex, which the plot's right edge places. Edges far
// from zero, without `to` or already reaching the row come back as they are.
CropEdges covering_rows(const DataTable& table, CropEdges edges);

// Visits, in row order, every segment from row i to row i + 1 (i = 1..DataCount - 1) that
// overlaps the crop window (x(i + 1) > left and x(i) < right, strictly; right as crop_rows
// reads it, at origin 0 the single sum left + width), calls draw_line(x1, y1, x2, y2) with the
// cells in single precision (x in model space, relative to origin), and narrows min_y/max_y
// with the y of the segment's end row only.
// A text cell among the rows raises TypeMismatch. With table.x_ascending it visits only the
// overlapping run of segments (same calls, same faults as measure_crop_linear, the plain loop
// over i = 1..DataCount - 1).
template <typename DrawLine>
void measure_crop(const DataTable& table, double left, float width, float& min_y, float& max_y,
                  DrawLine&& draw_line, double origin = 0.0);
template <typename DrawLine>
void measure_crop_linear(const DataTable& table, double left, float width, float& min_y,
                         float& max_y, DrawLine&& draw_line, double origin = 0.0);

// The one line that says why extract_crop refused the window with `fault`, e.g. "cannot crop:
// no data row at or right of the left edge 400 (the last data x is 300)".
std::string crop_refusal(const DataTable& table, double left, double origin, const Fault& fault);
// The line for a crop that holds no data point, which no search can fit.
std::string empty_crop_refusal(double left, float width, double origin);

}  // namespace tolvenar

#include "core/window/crop_measure.inl"
