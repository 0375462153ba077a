// SPDX-License-Identifier: GPL-3.0-or-later
// What a plot has drawn, as it was asked to draw it: strokes in user units with the scale each was
// drawn in, so that the plot can draw them again at another size. The current image is every
// stroke, the background picture the persisted strokes before the others.
#pragma once

#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace tolvenar {

// A plot's user scale when a stroke was drawn.
struct DrawnScale {
    float left = 0.0f;
    float top = 0.0f;
    float width = 1.0f;
    float height = 1.0f;
    bool operator==(const DrawnScale&) const = default;
};

enum class StrokeKind : std::uint8_t { Polyline, Box, FilledBox, Polygon };

struct Stroke {
    StrokeKind kind = StrokeKind::Polyline;
    QRgb color = 0;
    int width = 1;  // draw width in pixels
    DrawnScale scale;
    bool covers = false;     // a filled box over the whole plot: what lies under it is gone
    std::uint32_t first = 0;  // its points: a polygon's in polygonPoints(), the others' in points()
    std::uint32_t count = 0;
};

class DrawingRecord {
public:
    using Point = std::pair<float, float>;
    using PolygonPoint = std::pair<double, double>;

    // A line continues the last polyline when it starts at its end, in its pen and scale and
    // after the last persist: a series drawn segment by segment keeps one point a segment.
    void line(const DrawnScale& scale, Point from, Point to, QRgb color, int width);
    void box(const DrawnScale& scale, Point corner1, Point corner2, QRgb color, int width,
             bool filled, bool covers);
    void polygon(const DrawnScale& scale, const std::vector<PolygonPoint>& points, QRgb color);

    void clear();    // back to the persisted strokes
    void persist();  // every stroke persisted; those under the last covering fill are dropped
    void erase();    // nothing drawn

    const std::vector<Stroke>& strokes() const { return m_strokes; }
    std::size_t persisted() const { return m_persisted.strokes; }
    std::span<const Point> points(const Stroke& stroke) const;
    std::span<const PolygonPoint> polygonPoints(const Stroke& stroke) const;

private:
    // Sizes of the three vectors at a point of the record.
    struct Marks {
        std::size_t strokes = 0;
        std::size_t points = 0;
        std::size_t polygon_points = 0;
    };
    void dropBefore(std::size_t stroke);

    std::vector<Stroke> m_strokes;
    std::vector<Point> m_points;
    std::vector<PolygonPoint> m_polygon_points;
    Marks m_persisted;
};

}  // namespace tolvenar
