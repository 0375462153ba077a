// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/fit_picture.h"

#include "core/data/data_reader.h"
#include "core/job/fit_record.h"
#include "core/model/family.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace tolvenar::plot {

PictureWindow picture_window(const CropEdges& edges)
{
    const double right = edges.origin == 0.0
                             ? static_cast<double>(static_cast<float>(edges.left + edges.width))
                             : edges.left + static_cast<double>(edges.width);
    return {edges.left, right};
}

namespace {

// The level's percent as a legend writes it: "90 %".
std::string percent_of(double level)
{
    std::string text = number_text(std::round(level * 1e4) / 1e2);
    return text + " %";
}

// The intervals of the break points the family moves, at the refined model's heights.
std::vector<IntervalBar> moving_bars(const FoundModel& found, ModelFamily family, double left)
{
    const RefinedModel& refined = *found.refined;
    const FamilyShape shape = family_shape(family, found.vertices);
    std::vector<int> moved = shape.moved;
    if (shape.midway)
        moved.push_back(3);
    std::vector<IntervalBar> bars;
    for (const int k : moved) {
        const auto i = static_cast<std::size_t>(k);
        const Range& x = refined.intervals->x[i];
        bars.push_back({found.origin + x.lo - left, found.origin + x.hi - left,
                        refined.data_y(i)});
    }
    return bars;
}

}  // namespace

FitPicture fit_picture(const FitRecord& record, const DataTable& table,
                       const std::vector<double>& gap_x, double top, double bottom,
                       const PictureWindow& window)
{
    const double left = window.left;
    const double right = window.right;
    FitPicture picture;
    picture.width = right - left;
    picture.top = top;
    picture.bottom = bottom;
    picture.pixel_width = record.request.picture_size.width;
    picture.pixel_height = record.request.picture_size.height;
    picture.dpi = record.request.picture_size.dpi;
    if (!record.x_title.empty())
        picture.x_title = record.x_title;
    if (!record.y_title.empty())
        picture.y_title = record.y_title;
    for (Tick tick : x_ticks(left, right, record.x_form)) {
        tick.at -= left;
        picture.x_ticks.push_back(std::move(tick));
    }
    picture.y_ticks = number_ticks(bottom, top);

    Polyline data{{}, kDataBlue, 0.75};
    for (std::int32_t i = 1; i < table.DataCount; ++i) {
        const double x1 = cell_number(table.x_cell(i)), x2 = cell_number(table.x_cell(i + 1));
        if (x2 <= left || x1 >= right)
            continue;
        if (gaps_within(gap_x, x1, x2) > 0) {  // the line breaks where a y is missing
            if (!data.points.empty())
                picture.lines.push_back(std::exchange(data, {{}, kDataBlue, 0.75}));
            continue;
        }
        if (data.points.empty())
            data.points.emplace_back(x1 - left, cell_number(table.y_cell(i)));
        data.points.emplace_back(x2 - left, cell_number(table.y_cell(i + 1)));
    }
    picture.lines.push_back(std::move(data));
    picture.legend.push_back({"Data", 0xff000000 | kDataBlue, false});
    if (!record.found)
        return picture;

    const FoundModel& found = *record.found;
    const auto model_line = [&](const Vertices& x, const Vertices& y, double y_origin,
                                std::uint32_t rgb) {
        Polyline line{{}, rgb, 1.5};
        for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
            line.points.emplace_back(found.origin + x[k] - left, y_origin + y[k]);
        return line;
    };
    picture.lines.push_back(model_line(found.x, found.y, 0.0, kBestOfBestRed));
    picture.legend.push_back({"Best of best", 0xff000000 | kBestOfBestRed, false});
    if (!found.refined)
        return picture;
    picture.lines.push_back(model_line(found.refined->x, found.refined->y,
                                       found.refined->y_origin, kRefinedBlack));
    picture.legend.push_back({"Refined", 0xff000000 | kRefinedBlack, false});
    const std::optional<Intervals>& intervals = found.refined->intervals;
    if (!intervals)
        return picture;
    const refine::Band& band = intervals->band;
    if (!band.x.empty()) {
        Shade shade{{}, kBandShade};
        for (std::size_t i = 0; i < band.x.size(); ++i)
            shade.outline.emplace_back(found.origin + band.x[i] - left, band.hi[i]);
        for (std::size_t i = band.x.size(); i-- > 0;)
            shade.outline.emplace_back(found.origin + band.x[i] - left, band.lo[i]);
        picture.shades.push_back(std::move(shade));
        picture.legend.push_back({percent_of(intervals->level) + " band", kBandShade, true});
    }
    const std::optional<ModelFamily> family = fitted_family(record);
    picture.bars = moving_bars(found, family.value_or(record.request.family), left);
    if (!picture.bars.empty())
        picture.legend.push_back(
            {percent_of(intervals->level) + " interval of a break point", kIntervalBar, false});
    return picture;
}

std::string picture_ending(const std::string& path)
{
    std::string end = path.substr(path.size() - std::min<std::size_t>(path.size(), 4));
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end;
}

bool is_picture_name(const std::string& path)
{
    return picture_ending(path) == ".png" || picture_ending(path) == ".svg";
}

}  // namespace tolvenar::plot
