// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of one fit as plain values, as a paper shows it: the cropped data, the band of the
// refined fit's intervals, the best of best, the refined model and the intervals of its moving
// break points, with axes ticked in the file's own x form, the columns' titles and a legend. The
// window's Save and tolvenar-fit's --plot write it with the one renderer of src/picture.
#pragma once

#include "core/data/data_table.h"
#include "core/report/axis_ticks.h"
#include "core/window/crop_edges.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolvenar {
struct FitRecord;
}

namespace tolvenar::plot {

struct Polyline {
    std::vector<std::pair<double, double>> points;  // (x from the picture's left edge, y)
    std::uint32_t rgb = 0;                          // 0xRRGGBB
    double pen = 1.0;                               // line width in points
};

// A filled area, such as the band the bootstrap's curves span.
struct Shade {
    std::vector<std::pair<double, double>> outline;  // (x from the picture's left edge, y)
    std::uint32_t argb = 0;                          // 0xAARRGGBB: see-through below 0xff
};

// A break point's interval: from lo to hi (x from the left edge) at height y.
struct IntervalBar {
    double lo = 0.0;
    double hi = 0.0;
    double y = 0.0;
};

// A legend's line: a stroke of `argb` (a filled box when `area`) and its text.
struct LegendEntry {
    std::string text;
    std::uint32_t argb = 0;
    bool area = false;
};

struct FitPicture {
    double width = 1.0;   // x span shown, from the left edge
    double top = 1.0;     // y at the top edge
    double bottom = 0.0;  // y at the bottom edge
    std::vector<Polyline> lines;  // drawn in order, later ones over earlier ones
    std::vector<Shade> shades;    // drawn first, under the lines
    std::vector<IntervalBar> bars;  // over everything
    std::vector<Tick> x_ticks;      // at: x from the left edge
    std::vector<Tick> y_ticks;
    std::string x_title = "x";
    std::string y_title = "y";
    std::vector<LegendEntry> legend;
    int pixel_width = 640;
    int pixel_height = 480;
    int dpi = 96;
};

inline constexpr std::uint32_t kDataBlue = 0x0000ff;      // the cropped data
inline constexpr std::uint32_t kBestOfBestRed = 0xff0000; // the search's best model
inline constexpr std::uint32_t kRefinedBlack = 0x000000;  // a refined model, drawn over the best
inline constexpr std::uint32_t kBandShade = 0x66ffa500;   // the bootstrap's band, see-through
inline constexpr std::uint32_t kIntervalBar = 0xff008000; // a moving break point's interval

// The plot's x extent: the crop window's edges in data x.
struct PictureWindow {
    double left = 0.0;   // the working plot's ScaleLeft
    double right = 0.0;  // ScaleLeft + ScaleWidth, as the plot rounds it
};
// The extent of the working plot over the crop `edges`: its right edge a single near zero.
PictureWindow picture_window(const CropEdges& edges);

// The picture of `record` over the data of `table`: the data in blue (breaking at each x of
// `gap_x`), the band of the refined fit's intervals, the best of best in red, the refined model
// in black and the intervals of its moving break points, at the size the request asks; x from
// the window's left edge, y from `top` to `bottom` as the working plot shows them. A record
// without a model shows its data alone.
FitPicture fit_picture(const FitRecord& record, const DataTable& table,
                       const std::vector<double>& gap_x, double top, double bottom,
                       const PictureWindow& window);

// The last four characters of `path` in lower case: ".png" or ".svg" for a picture's name.
std::string picture_ending(const std::string& path);
bool is_picture_name(const std::string& path);

}  // namespace tolvenar::plot
