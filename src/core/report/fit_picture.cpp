// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/report/fit_picture.h"

#include "core/data/data_reader.h"
#include "core/job/fit_record.h"
#include "core/runtime/numbers.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tolvenar::plot {

PictureWindow picture_window(const CropEdges& edges)
{
    const double right = edges.origin == 0.0
                             ? static_cast<double>(static_cast<float>(edges.left + edges.width))
                             : edges.left + static_cast<double>(edges.width);
    return {edges.left, right};
}

FitPicture fit_picture(const DataTable& table, const std::vector<double>& gap_x, double top,
                       double bottom, const PictureWindow& window, const FoundModel& found)
{
    const double left = window.left;
    const double right = window.right;
    FitPicture picture{right - left, top, bottom, {}, {}};
    Polyline data{{}, kDataBlue, 1.0};
    for (std::int32_t i = 1; i < table.DataCount; ++i) {
        const double x1 = cell_number(table.x_cell(i)), x2 = cell_number(table.x_cell(i + 1));
        if (x2 <= left || x1 >= right)
            continue;
        if (gaps_within(gap_x, x1, x2) > 0) {  // the line breaks where a y is missing
            if (!data.points.empty())
                picture.lines.push_back(std::exchange(data, {{}, kDataBlue, 1.0}));
            continue;
        }
        if (data.points.empty())
            data.points.emplace_back(x1 - left, cell_number(table.y_cell(i)));
        data.points.emplace_back(x2 - left, cell_number(table.y_cell(i + 1)));
    }
    Polyline best{{}, kBestOfBestRed, 2.0};
    for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
        best.points.emplace_back(found.origin + found.x[k] - left, found.y[k]);
    picture.lines.push_back(std::move(data));
    picture.lines.push_back(std::move(best));
    if (found.refined) {
        Polyline refined{{}, kRefinedBlack, 2.0};
        for (std::size_t k = 1; k <= static_cast<std::size_t>(found.vertices); ++k)
            refined.points.emplace_back(found.origin + found.refined->x[k] - left,
                                        found.refined->y[k]);
        picture.lines.push_back(std::move(refined));
    }
    const refine::Band* band = found.refined && found.refined->intervals
                                   ? &found.refined->intervals->band
                                   : nullptr;
    if (band != nullptr && !band->x.empty()) {
        Shade shade{{}, kBandShade};
        for (std::size_t i = 0; i < band->x.size(); ++i)
            shade.outline.emplace_back(found.origin + band->x[i] - left, band->hi[i]);
        for (std::size_t i = band->x.size(); i-- > 0;)
            shade.outline.emplace_back(found.origin + band->x[i] - left, band->lo[i]);
        picture.shades.push_back(std::move(shade));
    }
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
