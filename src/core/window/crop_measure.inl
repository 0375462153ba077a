// SPDX-License-Identifier: GPL-3.0-or-later
// Body of measure_crop (included by crop.h).
#pragma once

namespace tolvenar {

template <typename DrawLine>
void measure_crop(const DataTable& table, float left, float width, float& min_y, float& max_y,
                  DrawLine&& draw_line)
{
    const std::int64_t last = static_cast<std::int64_t>(table.DataCount) - 1;
    const float right = left + width;
    for (std::int64_t i = 1; i <= last; ++i) {
        const Cell& x1 = table.x_cell(i);
        const Cell& x2 = table.x_cell(i + 1);
        if (!(cell_number(x2) > left && cell_number(x1) < right))
            continue;
        const Cell& y1 = table.y_cell(i);
        const Cell& y2 = table.y_cell(i + 1);
        draw_line(cell_single(x1), cell_single(y1), cell_single(x2), cell_single(y2));
        const double end_y = cell_number(y2);
        if (end_y > max_y)
            max_y = to_single(end_y);
        if (end_y < min_y)
            min_y = to_single(end_y);
    }
}

}  // namespace tolvenar
