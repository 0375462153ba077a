// SPDX-License-Identifier: GPL-3.0-or-later
// The crop of tolvenar-fit: the window's edges from --from and --to, taken as the window takes
// a crop typed into its two bound fields; what it cannot take is refused (exit 2).
#pragma once

#include "cli/arguments.h"
#include "core/data/data_table.h"
#include "core/data/x_form.h"
#include "core/session/fit_session.h"

namespace tolvenar::cli {

struct CropWindow {
    double left = 0.0;    // working plot ScaleLeft, data x (a single near zero)
    float width = 0.0f;   // working plot ScaleWidth
    double origin = 0.0;  // the crop's model-x origin (crop_origin)
    double from = 0.0;    // the edges as given, or the data's first and last x
    double to = 0.0;
};

// The data's first and last x stand for an edge not given; edges and messages are in the file's
// x `form` (an edge typed as a date read in it). Near zero, as the window takes a
// crop: left = single(from), width = single(to - from) with the difference in double. Far from
// zero: left = from and the origin, width = to - from rounded up to a single, so that a point at
// `to` stays in the crop.
CropWindow crop_window(const DataTable& table, const FitOptions& options,
                       const XForm& form = {});

// The crop as the window takes it; a fault, which the window leaves silently, is refused, and so
// is a crop without a data point, which no search can fit.
void take_crop(FitSession& session, const CropWindow& window);

}  // namespace tolvenar::cli
