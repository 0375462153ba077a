// SPDX-License-Identifier: GPL-3.0-or-later
// The two row scans of the crop. With the table's x ascending they bisect; the plain loops stay
// as the reference that the bisection must match row for row.
#pragma once

#include "core/data/data_table.h"
#include "core/window/crop_edges.h"

#include <cstdint>

namespace tolvenar {

// First scan: the first row i = 1, 2, ... whose x is >= left, reading on into the spare row and
// beyond. Raises IndexOutOfRange when it runs past the table.
std::int64_t first_crop_row(const DataTable& table, double left);
std::int64_t first_crop_row_linear(const DataTable& table, double left);

// Second scan: the first row j = from, from + 1, ... with j > DataCount or x(j) beyond the right
// edge: x(j) - origin > right (right relative to the model-x origin) and not x(j) <= to (`to` the
// edge in double, NaN for none), both read for every j (so the spare row is read when the scan
// gets there).
std::int64_t crop_stop_row(const DataTable& table, std::int64_t from, double right,
                           double origin = 0.0, double to = kNoEdge);
std::int64_t crop_stop_row_linear(const DataTable& table, std::int64_t from, double right,
                                  double origin = 0.0, double to = kNoEdge);

}  // namespace tolvenar
