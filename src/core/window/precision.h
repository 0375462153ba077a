// SPDX-License-Identifier: GPL-3.0-or-later
// Whether single precision holds a crop's data finely enough for the search, which scores the y
// in single and places break points at single x relative to the crop's origin. Far from zero a
// single keeps about seven digits: a series at 1,000,000 that varies by 0.05 keeps a handful of
// distinct values, and Unix seconds at origin 0 lose their sub-second steps.
#pragma once

#include "core/data/data_table.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tolvenar {

// A crop's values as written and as the search holds them, index for index.
struct HeldValues {
    std::span<const double> x;      // data x as written
    std::span<const float> x_held;  // single, relative to the crop's origin (model x)
    std::span<const double> y;      // as written
    std::span<const float> y_held;  // single
};

// Why single precision cannot represent the values well enough for the search, as one line;
// nullopt when it can. y: rounding to single merged values distinct as written, and the y spread
// spans fewer than kFewestYSteps single steps at the y's magnitude. x: a step between x distinct
// as written is moved by rounding by more than a quarter of the median step, so that steps are
// lost (two x become one) or far from their spacing. Data written within single precision, or
// spread over many single steps, never warn.
std::optional<std::string> precision_warning(const HeldValues& values);

inline constexpr double kFewestYSteps = 32.0;

// precision_warning for the cropped rows crop_start + 1 .. crop_start + count of `table` at
// `origin`, held as the search holds them (y as cell_single converts them).
std::optional<std::string> crop_precision_warning(const DataTable& table, std::int32_t crop_start,
                                                  std::int32_t count, double origin);

}  // namespace tolvenar
