// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse pointer codes, as the plots and the screen-wide pointer take them.
#pragma once

#include <QCursor>

namespace tolvenar::pointer {

inline constexpr int kDefault = 0;
inline constexpr int kArrow = 1;
inline constexpr int kCross = 2;
inline constexpr int kIBeam = 3;
inline constexpr int kIcon = 4;  // shown as the arrow; the last of the plain pointers
inline constexpr int kSizeAll = 5;
inline constexpr int kSizeRising = 6;  // resize along the rising diagonal
inline constexpr int kSizeVertical = 7;
inline constexpr int kSizeFalling = 8;  // resize along the falling diagonal
inline constexpr int kSizeHorizontal = 9;
inline constexpr int kUpArrow = 10;
inline constexpr int kHourglass = 11;
inline constexpr int kNoDrop = 12;
inline constexpr int kBusy = 13;
inline constexpr int kHelp = 14;
inline constexpr int kFourWay = 15;  // the same arrows as kSizeAll

// The cursor of a pointer code; an unknown code raises InvalidPropertyValue.
QCursor cursor_of(int code);

}  // namespace tolvenar::pointer
