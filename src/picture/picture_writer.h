// SPDX-License-Identifier: GPL-3.0-or-later
// The one renderer of a fit's picture (core/report/fit_picture.h), PNG or SVG. Qt is used for
// the drawing alone: plain values in, bytes or a file out, no application object needed. The
// window links it; tolvenar-fit loads it as a module only when it writes a picture.
#pragma once

#include "core/report/fit_picture.h"

#include <string>

namespace tolvenar::plot {

// The picture's bytes, SVG or PNG; false when Qt could not make them.
bool picture_bytes(bool svg, const FitPicture& picture, std::string& bytes);

// Writes `picture` to `path`, PNG or SVG by its ending (case aside). Returns "" when written,
// else the reason it was not.
std::string render_picture(const std::string& path, const FitPicture& picture);

}  // namespace tolvenar::plot
