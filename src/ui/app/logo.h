// SPDX-License-Identifier: GPL-3.0-or-later
// The program's pictures, drawn in code: the logo of the display frame and the window icon.
#pragma once

#include <QImage>

namespace tolvenar {

// 263 x 128 pixels, 24-bit colour: a measured series with a red event model over it.
QImage make_logo();

// A square icon of `size` pixels with the same motif.
QImage make_icon(int size);

}  // namespace tolvenar
