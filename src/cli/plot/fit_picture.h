// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of one fit, drawn as the working plot draws it, written as PNG or SVG. Qt is used
// for the drawing alone: plain values in, a file out, no application object needed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolvenar::plot {

struct Polyline {
    std::vector<std::pair<double, double>> points;  // (x from the picture's left edge, y)
    std::uint32_t rgb = 0;                          // 0xRRGGBB
    double pen = 1.0;                               // line width in pixels
};

// A filled area, such as the band the bootstrap's curves span.
struct Shade {
    std::vector<std::pair<double, double>> outline;  // (x from the picture's left edge, y)
    std::uint32_t argb = 0;                          // 0xAARRGGBB: see-through below 0xff
};

struct FitPicture {
    double width = 1.0;   // x span shown, from the left edge
    double top = 1.0;     // y at the top edge
    double bottom = 0.0;  // y at the bottom edge
    std::vector<Polyline> lines;  // drawn in order, later ones over earlier ones
    std::vector<Shade> shades;    // drawn between the first line (the data) and the others
};

inline constexpr std::uint32_t kDataBlue = 0x0000ff;     // the cropped data
inline constexpr std::uint32_t kBestOfBestRed = 0xff0000; // the search's best model
inline constexpr std::uint32_t kRefinedBlack = 0x000000;  // a refined model, drawn over the best
inline constexpr std::uint32_t kBandShade = 0x40ff0000;   // the bootstrap's band

// Writes `picture` to `path`, PNG or SVG by its ending (case aside). Returns "" when written,
// else the reason it was not.
std::string write_picture(const std::string& path, const FitPicture& picture);

// Loads the drawing module and the libraries under it now, if not done yet. Called before other
// threads start: the dynamic loader then sets up those libraries' thread-local storage with no
// thread starting or ending at the same time, which has been a source of heap corruption.
void load_picture_module();

// True when `path` ends in .png or .svg, case aside.
bool is_picture_name(const std::string& path);

}  // namespace tolvenar::plot
