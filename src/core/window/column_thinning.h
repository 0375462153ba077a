// SPDX-License-Identifier: GPL-3.0-or-later
// A polyline of far more points than its plot has pixel columns, drawn at the cost of the plot's
// width rather than of the series' length.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace tolvenar {

// Takes a polyline segment by segment, as measure_crop draws it, and passes on to draw_line a
// polyline through, per pixel column, the first and the last of its points there and the lowest
// and the highest, in their order along the line. The step from one column to the next is the
// line's own segment and each column spans the same y as before, so the drawing shows what the
// whole line shows. A segment that does not start where the previous one ended starts a new
// polyline. Call finish() after the last segment.
template <typename DrawLine>
class ColumnThinner {
public:
    // The plot's x scale: `left` at its left edge, `width` across `columns` pixel columns.
    ColumnThinner(double left, double width, int columns, DrawLine draw_line)
        : m_left(left), m_columns(columns), m_per_x(columns / width),
          m_draw_line(std::move(draw_line))
    {
    }

    void operator()(float x1, float y1, float x2, float y2)
    {
        if (!m_open || x1 != m_column.last.x || y1 != m_column.last.y) {
            finish();
            open({x1, y1, m_count++});
            m_open = true;
        }
        take({x2, y2, m_count++});
    }

    void finish()
    {
        if (!m_open)
            return;
        flush();
        m_open = false;
        m_pen_set = false;
    }

private:
    struct Point {
        float x = 0.0f;
        float y = 0.0f;
        std::int64_t n = 0;  // place along the line
    };
    struct Column {
        double index = 0.0;
        Point first, low, high, last;
    };

    // Left of the plot is column -1 and right of it `columns`: their points are clipped anyway.
    double column_of(float x) const
    {
        return std::clamp(std::floor((x - m_left) * m_per_x), -1.0,
                          static_cast<double>(m_columns));
    }

    void open(const Point& p) { m_column = {column_of(p.x), p, p, p, p}; }

    void take(const Point& p)
    {
        if (column_of(p.x) != m_column.index) {
            flush();
            open(p);
            return;
        }
        if (p.y < m_column.low.y)
            m_column.low = p;
        if (p.y > m_column.high.y)
            m_column.high = p;
        m_column.last = p;
    }

    void flush()
    {
        const Column& c = m_column;
        const bool low_first = c.low.n < c.high.n;
        for (const Point& p : {c.first, low_first ? c.low : c.high, low_first ? c.high : c.low,
                               c.last})
            pen_to(p);
    }

    void pen_to(const Point& p)
    {
        if (m_pen_set && p.n == m_pen.n)
            return;
        if (m_pen_set)
            m_draw_line(m_pen.x, m_pen.y, p.x, p.y);
        m_pen = p;
        m_pen_set = true;
    }

    double m_left;
    int m_columns;
    double m_per_x;
    DrawLine m_draw_line;
    Column m_column;
    bool m_open = false;
    Point m_pen;
    bool m_pen_set = false;
    std::int64_t m_count = 0;
};

}  // namespace tolvenar
