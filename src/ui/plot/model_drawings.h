// SPDX-License-Identifier: GPL-3.0-or-later
// The colours of the drawings over the data, and a model drawn as its polyline.
#pragma once

#include "core/model/model.h"
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

inline void draw_model(PictureBox& plot, const Model& model, QRgb color)
{
    draw_model(plot, model.x, model.y, color);
}

class frmMain;

// `model` drawn as the best of best (red, width 2, not persisted); the plot then shows one.
void draw_best_of_best(frmMain& window, const Model& model);

// Manual boxes 1..count (pink outlines), as DrawBox draws the session's.
void draw_manual_boxes(frmMain& window, const BoxLimits& boxes, std::int16_t count);

}  // namespace tolvenar
