// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/drawing_record.h"

#include <algorithm>

namespace tolvenar {

void DrawingRecord::line(const DrawnScale& scale, Point from, Point to, QRgb color, int width)
{
    if (m_strokes.size() > m_persisted.strokes) {
        Stroke& last = m_strokes.back();
        if (last.kind == StrokeKind::Polyline && last.color == color && last.width == width &&
            last.scale == scale && m_points.back() == from) {
            m_points.push_back(to);
            ++last.count;
            return;
        }
    }
    m_strokes.push_back({StrokeKind::Polyline, color, width, scale, false,
                         static_cast<std::uint32_t>(m_points.size()), 2});
    m_points.push_back(from);
    m_points.push_back(to);
}

void DrawingRecord::box(const DrawnScale& scale, Point corner1, Point corner2, QRgb color,
                        int width, bool filled, bool covers)
{
    m_strokes.push_back({filled ? StrokeKind::FilledBox : StrokeKind::Box, color, width, scale,
                         covers, static_cast<std::uint32_t>(m_points.size()), 2});
    m_points.push_back(corner1);
    m_points.push_back(corner2);
}

void DrawingRecord::polygon(const DrawnScale& scale, const std::vector<PolygonPoint>& points,
                            QRgb color)
{
    m_strokes.push_back({StrokeKind::Polygon, color, 1, scale, false,
                         static_cast<std::uint32_t>(m_polygon_points.size()),
                         static_cast<std::uint32_t>(points.size())});
    m_polygon_points.insert(m_polygon_points.end(), points.begin(), points.end());
}

void DrawingRecord::clear()
{
    m_strokes.resize(m_persisted.strokes);
    m_points.resize(m_persisted.points);
    m_polygon_points.resize(m_persisted.polygon_points);
}

void DrawingRecord::persist()
{
    const auto cover = std::find_if(m_strokes.rbegin(), m_strokes.rend(),
                                    [](const Stroke& stroke) { return stroke.covers; });
    if (cover != m_strokes.rend())
        dropBefore(static_cast<std::size_t>(m_strokes.rend() - cover) - 1);
    m_persisted = {m_strokes.size(), m_points.size(), m_polygon_points.size()};
}

void DrawingRecord::erase()
{
    m_strokes.clear();
    m_points.clear();
    m_polygon_points.clear();
    m_persisted = {};
}

// The points of the strokes dropped are the vectors' first ones: strokes are recorded in order.
void DrawingRecord::dropBefore(std::size_t stroke)
{
    std::uint32_t points = 0;
    std::uint32_t polygon_points = 0;
    for (std::size_t i = 0; i < stroke; ++i)
        (m_strokes[i].kind == StrokeKind::Polygon ? polygon_points : points) += m_strokes[i].count;
    m_strokes.erase(m_strokes.begin(), m_strokes.begin() + static_cast<std::ptrdiff_t>(stroke));
    m_points.erase(m_points.begin(), m_points.begin() + points);
    m_polygon_points.erase(m_polygon_points.begin(), m_polygon_points.begin() + polygon_points);
    for (Stroke& kept : m_strokes)
        kept.first -= kept.kind == StrokeKind::Polygon ? polygon_points : points;
}

std::span<const DrawingRecord::Point> DrawingRecord::points(const Stroke& stroke) const
{
    return {m_points.data() + stroke.first, stroke.count};
}

std::span<const DrawingRecord::PolygonPoint> DrawingRecord::polygonPoints(
    const Stroke& stroke) const
{
    return {m_polygon_points.data() + stroke.first, stroke.count};
}

}  // namespace tolvenar
