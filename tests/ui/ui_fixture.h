// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window tests: a series placed into the program state as the import leaves it,
// and pixel reads of a plot in its user units.
#pragma once

#include "core/data/data_reader.h"
#include "ui/app/frm_main.h"

#include <QImage>

#include <QRect>

#include <cmath>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>

namespace tolvenar::test {

// The drawing colours the tests look for (kBlue, the data, comes with frmMain).
inline constexpr QRgb kRed = 0xffff0000;      // best of best, crop window, convergence curve
inline constexpr QRgb kGreen = 0xff00ff00;    // candidate and constraint boxes
inline constexpr QRgb kOrange = 0xffffaa00;   // each run's best

// The kind of fault `action` raises, nullopt when it raises none.
inline std::optional<FaultKind> fault_of(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Fault& fault) {
        return fault.kind();
    }
    return std::nullopt;
}

// Puts rows 1..n of (x, y) numbers into the window's data table, with titles in row 0 and an
// empty spare row, as the import leaves it.
inline void place_rows(frmMain& window, std::initializer_list<std::pair<double, double>> rows)
{
    DataTable table;
    table.texts = {"x", "y"};
    table.DataX.push_back({CellKind::Text, 0, 0.0});
    table.DataY.push_back({CellKind::Text, 1, 0.0});
    for (const auto& [x, y] : rows) {
        table.DataX.push_back(Cell::of_number(x));
        table.DataY.push_back(Cell::of_number(y));
    }
    table.DataX.push_back(Cell::empty());
    table.DataY.push_back(Cell::empty());
    table.DataCount = static_cast<std::int32_t>(rows.size());
    note_x_order(table);
    window.state.data = std::move(table);
}

// Makes the y cell of `row` a text, as a file with a word among the values would.
inline void put_text_y(frmMain& window, int row, const char* text)
{
    DataTable& table = window.state.data;
    table.texts.emplace_back(text);
    table.DataY[static_cast<std::size_t>(row)] =
        Cell{CellKind::Text, static_cast<std::uint32_t>(table.texts.size() - 1), 0.0};
}

// Reads `csv` (a title row, then x,y rows) into the window's data table.
inline void place_series(frmMain& window, std::string_view csv)
{
    window.state.data = read_data_text(csv).table;
}

// The overview strip on x from `left` over `width`; the crop window from `crop_left` over
// `crop_width` in that scale, and the working plot on the same x range with y from `top` over
// `height`.
inline void place_windows(frmMain& window, float left, float width, float crop_left,
                          float crop_width, float top, float height)
{
    window.Picture2->setScaleLeft(left);
    window.Picture2->setScaleWidth(width);
    window.Picture2->setScaleTop(top);
    window.Picture2->setScaleHeight(height);
    window.Shape1->setLeft(crop_left);
    window.Shape1->setWidth(crop_width);
    window.Picture1->setScaleLeft(crop_left);
    window.Picture1->setScaleWidth(crop_width);
    window.Picture1->setScaleTop(top);
    window.Picture1->setScaleHeight(height);
}

// The colour of the plot pixel that holds the point (x, y) in user units.
inline QRgb pixel_at(const PictureBox& plot, double x, double y)
{
    const QImage image = plot.Image();
    const double ratio = image.devicePixelRatio();
    const double px = (x - plot.ScaleLeft()) * plot.contentsRect().width() / plot.ScaleWidth();
    const double py = (y - plot.ScaleTop()) * plot.contentsRect().height() / plot.ScaleHeight();
    const QPoint at(static_cast<int>(std::floor(px * ratio)),
                    static_cast<int>(std::floor(py * ratio)));
    return image.valid(at) ? image.pixel(at) | 0xff000000u : 0u;
}

// Number of pixels of `color` in the plot's current image.
inline int count_pixels(const PictureBox& plot, QRgb color)
{
    const QImage image = plot.Image();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) | 0xff000000u) == (color | 0xff000000u) ? 1 : 0;
    return count;
}

// Pixels of `color` in `area` (logical coordinates) of a rendered window.
inline int count_in(const QImage& shot, const QRect& area, QRgb color)
{
    const double ratio = shot.devicePixelRatio();
    const QRect device(QPoint(static_cast<int>(area.left() * ratio),
                              static_cast<int>(area.top() * ratio)),
                       area.size() * ratio);
    int count = 0;
    for (int y = device.top(); y <= device.bottom(); ++y)
        for (int x = device.left(); x <= device.right(); ++x)
            count += shot.valid(x, y) && (shot.pixel(x, y) | 0xff000000u) == color ? 1 : 0;
    return count;
}

}  // namespace tolvenar::test
