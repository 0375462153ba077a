// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of the drawings over the data, and a model drawn as its polyline.
#pragma once

#include "core/model/engine_state.h"
#include "ui/toolkit/picture_box.h"

#include <QRgb>

namespace tolvenar {

inline constexpr QRgb kCandidateGreen = 0xff00ff00;   // the candidate of the current trial
inline constexpr QRgb kRunBestOrange = 0xffffaa00;    // each finished run's best, persisted
inline constexpr QRgb kBestOfBestRed = 0xffff0000;    // the best of best; the convergence trace
inline constexpr QRgb kManualBoxPink = 0xffff9696;    // manual boxes
inline constexpr QRgb kSamplingFrame = 0xff96ff96;    // constraint box widened by 10 % a side
inline constexpr QRgb kConstraintGreen = 0xff00ff00;  // constraint boxes

// The polyline through vertices 1..6 in index order, at the plot's current draw width; unset
// vertices (kUnsetVertex) lie far off the plot and are clipped.
inline void draw_model(PictureBox& plot, const Vertices& x, const Vertices& y, QRgb color)
{
    for (std::size_t i = 2; i <= 6; ++i)
        plot.Line(x[i - 1], y[i - 1], x[i], y[i], color);
}

}  // namespace tolvenar
