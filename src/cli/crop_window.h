// SPDX-License-Identifier: GPL-3.0-or-later
// The crop of tolvenar-fit: the window's edges from --from and --to, taken as the window takes
// a crop typed into its two bound fields; what it cannot take is refused (exit 2).
#pragma once

#include "cli/arguments.h"
#include "core/data/data_table.h"
#include "core/model/engine_state.h"

namespace tolvenar::cli {

struct CropWindow {
    float left = 0.0f;   // working plot ScaleLeft, data x
    float width = 0.0f;  // working plot ScaleWidth, data x
};

// left = single(from), width = single(to - from) with the difference in double; the data's
// first and last x stand for an edge not given.
CropWindow crop_window(const DataTable& table, const FitOptions& options);

// The crop as the window takes it; a fault, which the window leaves silently, is refused.
void take_crop(EngineState& state, const CropWindow& window);

}  // namespace tolvenar::cli
