// SPDX-License-Identifier: GPL-3.0-or-later
// The crop as the fits beyond the search read it: the cropped rows with their weights, the
// crop's origin and drawn extent, and the boxes that hold a fit's vertices. Plain values: the
// refinement, its errors, the bootstrap and the comparison take one, whatever session made it.
#pragma once

#include "core/data/data_table.h"
#include "core/model/model.h"

#include <cstdint>
#include <vector>

namespace tolvenar {

struct FitCrop {
    // The cropped rows as rows 1..n of a table of their own, their cells as read, so that the
    // search's own measures score a model over them exactly as over the crop.
    DataTable rows;
    // 1 / sigma^2 of rows 0..n + 1 (rows 0 and n + 1 hold 1); empty: every point weighs 1.
    std::vector<double> weight;
    double origin = 0.0;    // data x of model x 0
    double y_origin = 0.0;  // data y of model y 0: the rows hold their y less it (fit_y_origin)
    float min_y = kEmptyRangeLowest;   // the extent the crop's drawing measured
    float max_y = kEmptyRangeHighest;
    std::int16_t vertices = 0;  // of the family; of the drawn family, its boxes
    BoxLimits constraint;       // grown by the unconstrained runs
    BoxLimits manual;           // drawn with the mouse

    std::int32_t points() const { return rows.DataCount; }
    // Point i (from 0): its model x, its model y as the search's measures read it (single), its
    // weight.
    double t(std::size_t i) const
    {
        return cell_number(rows.x_cell(static_cast<std::int64_t>(i) + 1)) - origin;
    }
    double y(std::size_t i) const
    {
        return static_cast<double>(cell_single(rows.y_cell(static_cast<std::int64_t>(i) + 1)));
    }
    double w(std::size_t i) const { return weight.empty() ? 1.0 : weight[i + 1]; }
    // Point i's y in data units, in double: its model y read back about the y origin.
    double data_y(std::size_t i) const { return y_origin + y(i); }
};

// The y origin of a crop whose y lie in [lowest, highest]: 0 while single precision holds them
// finely (within kSingleYReach spreads of zero, where a single step is below 1/2048 of the
// spread), else their midpoint, so that the fits beyond the search keep the digits of a series
// at 1,000,000 that varies by 0.05. Data near zero keep their values as written.
inline constexpr double kSingleYReach = 4096.0;
double fit_y_origin(double lowest, double highest);

// `model` with its levels taken about `y_origin` (data y to model y, or back with -y_origin).
Model about_y_origin(Model model, double y_origin);

}  // namespace tolvenar
