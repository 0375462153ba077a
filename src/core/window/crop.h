// SPDX-License-Identifier: GPL-3.0-or-later
// The cropped segment: which data rows lie under the crop window, and the measurement of the
// cropped data's vertical extent that the working plot's drawing shares.
#pragma once

#include "core/data/data_table.h"
#include "core/model/engine_state.h"
#include "core/runtime/numbers.h"

#include <cstdint>

namespace tolvenar {

// Takes the rows under the crop window [left, left + width] (right edge rounded to single) into
// the cropped segment: CropStart, CropEnd, CropCount, fresh zeroed CropObserved/CropModel of
// CropCount + 1 elements, CropMinY/CropMaxY the empty range (kEmptyRangeLowest/Highest).
// Faults leave the whole previous segment: IndexOutOfRange when no row up to the spare row
// reaches the left edge; Overflow when more than 32767 rows would be cropped or left + width
// exceeds the single range. Bisects when table.x_ascending.
void extract_crop(EngineState& state, float left, float width);

// The crop as the command line needs it, without drawing: extract_crop, then measure_crop into
// CropMinY/CropMaxY, then forget_best_of_best. A fault ends it where it arises, as in the window.
void crop_without_drawing(EngineState& state, float left, float width);

// Visits, in row order, every segment from row i to row i + 1 (i = 1..DataCount - 1) that
// overlaps the crop window (x(i + 1) > left and x(i) < right, strictly), calls
// draw_line(x1, y1, x2, y2) with the cells in single precision, and narrows min_y/max_y with
// the y of the segment's end row only. A text cell among the rows raises TypeMismatch.
// With table.x_ascending it visits only the overlapping run of segments (same calls, same
// faults as measure_crop_linear, the plain loop over i = 1..DataCount - 1).
template <typename DrawLine>
void measure_crop(const DataTable& table, float left, float width, float& min_y, float& max_y,
                  DrawLine&& draw_line);
template <typename DrawLine>
void measure_crop_linear(const DataTable& table, float left, float width, float& min_y,
                         float& max_y, DrawLine&& draw_line);

}  // namespace tolvenar

#include "core/window/crop_measure.inl"
