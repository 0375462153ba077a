// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/picture_writer.h"

#include "core/runtime/file_output.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QSvgGenerator>

namespace tolvenar::plot {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

void draw(QPainter& painter, const FitPicture& picture)
{
    QFont font;  // no text is drawn, but an SVG states a font, and a size of -1 is none
    font.setPixelSize(12);
    painter.setFont(font);
    painter.fillRect(0, 0, kWidth, kHeight, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(0, 0, kWidth, kHeight);
    const double sx = kWidth / picture.width;
    const double sy = kHeight / (picture.bottom - picture.top);
    const auto pixel = [&](const std::pair<double, double>& point) {
        return QPointF(point.first * sx, (point.second - picture.top) * sy);
    };
    const auto shade = [&] {
        for (const Shade& area : picture.shades) {
            QPolygonF polygon;
            for (const auto& point : area.outline)
                polygon << pixel(point);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor::fromRgba(static_cast<QRgb>(area.argb)));
            painter.drawPolygon(polygon);
            painter.setBrush(Qt::NoBrush);
        }
    };
    if (picture.lines.empty())
        shade();
    for (std::size_t i = 0; i < picture.lines.size(); ++i) {
        if (i == 1)  // over the data, under the models
            shade();
        const Polyline& line = picture.lines[i];
        if (line.points.empty())
            continue;
        QPainterPath path(pixel(line.points.front()));
        for (const auto& point : line.points)
            path.lineTo(pixel(point));
        QPen pen{QColor::fromRgb(static_cast<QRgb>(line.rgb))};
        pen.setWidthF(line.pen);
        painter.strokePath(path, pen);
    }
    if (picture.lines.size() == 1)
        shade();
    painter.setClipping(false);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, kWidth - 1, kHeight - 1);
}

// The picture's bytes, SVG or PNG; the caller writes them, so that the file's name stays the
// bytes it was given (Qt would read it as UTF-8) and every failed write is told.
bool render_bytes(bool svg, const FitPicture& picture, QByteArray& bytes)
{
    QBuffer buffer(&bytes);
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize({kWidth, kHeight});
        generator.setViewBox(QRect(0, 0, kWidth, kHeight));
        generator.setTitle(QStringLiteral("tolvenar-fit"));
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        draw(painter, picture);
        return painter.end();
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    draw(painter, picture);
    painter.end();
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG");
}

}  // namespace

bool picture_bytes(bool svg, const FitPicture& picture, std::string& bytes)
{
    QByteArray rendered;
    if (!render_bytes(svg, picture, rendered))
        return false;
    bytes.assign(rendered.constData(), static_cast<std::size_t>(rendered.size()));
    return true;
}

std::string render_picture(const std::string& path, const FitPicture& picture)
{
    const std::string failed = "cannot write the picture " + path + ": ";
    std::string bytes;
    if (!picture_bytes(picture_ending(path) == ".svg", picture, bytes))
        return failed + "the drawing failed";
    const std::string reason = write_file(path, bytes);
    return reason.empty() ? reason : failed + reason;
}

}  // namespace tolvenar::plot
