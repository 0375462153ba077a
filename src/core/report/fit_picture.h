// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of one fit as plain values, drawn as the working plot draws it: the cropped data, the
// band of the refined fit's intervals, the best of best and the refined model. The window's Save
// and tolvenar-fit's --plot write it with the one renderer of src/picture.
#pragma once

#include "core/data/data_table.h"
#include "core/window/crop_edges.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolvenar {
struct FoundModel;
}

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

// The plot's x extent: the crop window's edges in data x.
struct PictureWindow {
    double left = 0.0;   // the working plot's ScaleLeft
    double right = 0.0;  // ScaleLeft + ScaleWidth, as the plot rounds it
};
// The extent of the working plot over the crop `edges`: its right edge a single near zero.
PictureWindow picture_window(const CropEdges& edges);

// The working plot of the fit: the data of `table` in blue, the band of the refined fit's
// intervals when there is one, the best of best in red and the refined model in black; x from
// the window's left edge, y from `top` to `bottom` as the plot shows them. The data's line breaks
// at each x of `gap_x` (missing y).
FitPicture fit_picture(const DataTable& table, const std::vector<double>& gap_x, double top,
                       double bottom, const PictureWindow& window, const FoundModel& found);

// The last four characters of `path` in lower case: ".png" or ".svg" for a picture's name.
std::string picture_ending(const std::string& path);
bool is_picture_name(const std::string& path);

}  // namespace tolvenar::plot
