// SPDX-License-Identifier: GPL-3.0-or-later
// tolvenar-fit's pictures through the renderer's module (src/picture), loaded on first use: Qt
// and the libraries under it then cost nothing to a run that writes no picture.
#pragma once

#include "core/report/fit_picture.h"

#include <string>

namespace tolvenar::plot {

// Writes `picture` to `path`, PNG or SVG by its ending (case aside). Returns "" when written,
// else the reason it was not.
std::string write_picture(const std::string& path, const FitPicture& picture);

// Loads the drawing module and the libraries under it now, if not done yet. Called before other
// threads start: the dynamic loader then sets up those libraries' thread-local storage with no
// thread starting or ending at the same time, which has been a source of heap corruption.
void load_picture_module();

}  // namespace tolvenar::plot
