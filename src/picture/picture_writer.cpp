// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture/picture_writer.h"

#include "core/runtime/file_output.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tolvenar::plot {

namespace {

QColor color_of(std::uint32_t argb)
{
    return QColor::fromRgba(static_cast<QRgb>(argb));
}

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

// Draws `picture` at its pixel size: the plot's frame with its tick marks and labels, the axes'
// titles, the band, the lines and the bars inside it, and the legend in its top right corner.
// Lengths are in points, turned into pixels at the picture's resolution.
void draw(QPainter& painter, const FitPicture& picture)
{
    const int width = picture.pixel_width;
    const int height = picture.pixel_height;
    const double pt = picture.dpi / 72.0;
    QFont font;
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(9.0 * pt))));
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    painter.fillRect(0, 0, width, height, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);

    // The frame: room on the left for the widest y label and the y title (turned), below for
    // the x labels and the x title.
    double widest_y = 0.0;
    for (const Tick& tick : picture.y_ticks)
        widest_y = std::max(widest_y, metrics.horizontalAdvance(text_of(tick.label)));
    const double gap = 4.0 * pt;
    const double tick_length = 4.0 * pt;
    const double line = metrics.height();
    // On either side, room for half the first or last x label.
    const auto half_label = [&](const Tick& tick) {
        return metrics.horizontalAdvance(text_of(tick.label)) / 2;
    };
    const double first_x = picture.x_ticks.empty() ? 0.0 : half_label(picture.x_ticks.front());
    const double last_x = picture.x_ticks.empty() ? 0.0 : 2 * half_label(picture.x_ticks.back());
    const QRectF frame(QPointF(std::max(gap + line + gap + widest_y + gap + tick_length,
                                        gap + first_x),
                               gap + line / 2),
                       QPointF(width - gap - std::max(line, last_x / 2),
                               height - (gap + line + gap + line + gap + tick_length)));
    const double sx = frame.width() / picture.width;
    const double sy = frame.height() / (picture.bottom - picture.top);
    const auto pixel = [&](double x, double y) {
        return QPointF(frame.left() + x * sx, frame.top() + (y - picture.top) * sy);
    };
    const auto pen = [&](std::uint32_t argb, double points) {
        QPen stroke(color_of(argb));
        stroke.setWidthF(points * pt);
        stroke.setCapStyle(Qt::FlatCap);
        return stroke;
    };

    painter.save();
    painter.setClipRect(frame);
    for (const Shade& area : picture.shades) {
        QPolygonF polygon;
        for (const auto& [x, y] : area.outline)
            polygon << pixel(x, y);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_of(area.argb));
        painter.drawPolygon(polygon);
        painter.setBrush(Qt::NoBrush);
    }
    for (const Polyline& polyline : picture.lines) {
        if (polyline.points.empty())
            continue;
        QPainterPath path(pixel(polyline.points.front().first, polyline.points.front().second));
        for (const auto& [x, y] : polyline.points)
            path.lineTo(pixel(x, y));
        painter.strokePath(path, pen(0xff000000 | polyline.rgb, polyline.pen));
    }
    const double cap = 3.0 * pt;
    painter.setPen(pen(kIntervalBar, 1.5));
    for (const IntervalBar& bar : picture.bars) {
        const QPointF lo = pixel(bar.lo, bar.y);
        const QPointF hi = pixel(bar.hi, bar.y);
        painter.drawLine(lo, hi);
        painter.drawLine(lo - QPointF(0, cap), lo + QPointF(0, cap));
        painter.drawLine(hi - QPointF(0, cap), hi + QPointF(0, cap));
    }
    painter.restore();

    painter.setPen(pen(0xff000000, 0.75));
    painter.drawRect(frame);
    // Labels too wide for their ticks' spacing go on every second (third, ...) tick alone.
    double widest_x = 0.0;
    for (const Tick& tick : picture.x_ticks)
        widest_x = std::max(widest_x, metrics.horizontalAdvance(text_of(tick.label)));
    std::size_t every = 1;
    if (picture.x_ticks.size() > 1) {
        const double spacing = (picture.x_ticks[1].at - picture.x_ticks[0].at) * sx;
        every = static_cast<std::size_t>(std::ceil((widest_x + 2 * gap) / spacing));
    }
    for (std::size_t i = 0; i < picture.x_ticks.size(); ++i) {
        const Tick& tick = picture.x_ticks[i];
        const double x = pixel(tick.at, picture.top).x();
        painter.drawLine(QPointF(x, frame.bottom()), QPointF(x, frame.bottom() + tick_length));
        if (i % std::max<std::size_t>(every, 1) != 0)
            continue;
        const QString label = text_of(tick.label);
        const double advance = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(x - advance / 2, frame.bottom() + tick_length + gap +
                                                      metrics.ascent()),
                         label);
    }
    for (const Tick& tick : picture.y_ticks) {
        const double y = pixel(0.0, tick.at).y();
        painter.drawLine(QPointF(frame.left() - tick_length, y), QPointF(frame.left(), y));
        const QString label = text_of(tick.label);
        painter.drawText(QPointF(frame.left() - tick_length - gap -
                                     metrics.horizontalAdvance(label),
                                 y + metrics.ascent() / 2 - metrics.descent() / 2),
                         label);
    }
    const QString x_title = text_of(picture.x_title);
    painter.drawText(QPointF(frame.center().x() - metrics.horizontalAdvance(x_title) / 2,
                             height - gap - metrics.descent()),
                     x_title);
    const QString y_title = text_of(picture.y_title);
    painter.save();
    painter.translate(gap + metrics.ascent(),
                      frame.center().y() + metrics.horizontalAdvance(y_title) / 2);
    painter.rotate(-90.0);
    painter.drawText(QPointF(0, 0), y_title);
    painter.restore();

    // The legend: a sample of each stroke or area and its text, on white over the plot.
    if (picture.legend.empty())
        return;
    const double sample = 18.0 * pt;
    double widest = 0.0;
    for (const LegendEntry& entry : picture.legend)
        widest = std::max(widest, metrics.horizontalAdvance(text_of(entry.text)));
    const QSizeF size(gap + sample + gap + widest + gap,
                      gap + line * static_cast<double>(picture.legend.size()) + gap);
    // In the corner that hides the fewest of the lines' points: top right, top left, bottom
    // right, bottom left.
    const QRectF inner = frame.adjusted(gap, gap, -gap, -gap);
    QRectF box;
    std::size_t hidden = std::numeric_limits<std::size_t>::max();
    for (const QPointF corner : {QPointF(inner.right() - size.width(), inner.top()),
                                 QPointF(inner.left(), inner.top()),
                                 QPointF(inner.right() - size.width(),
                                         inner.bottom() - size.height()),
                                 QPointF(inner.left(), inner.bottom() - size.height())}) {
        const QRectF place(corner, size);
        std::size_t under = 0;
        for (const Polyline& polyline : picture.lines)
            for (const auto& [x, y] : polyline.points)
                under += place.contains(pixel(x, y));
        if (under < hidden)
            box = place, hidden = under;
    }
    painter.setPen(pen(0xff808080, 0.5));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);
    double y = box.top() + gap;
    for (const LegendEntry& entry : picture.legend) {
        const double middle = y + line / 2;
        const double left = box.left() + gap;
        if (entry.area) {
            painter.fillRect(QRectF(left, y + line * 0.2, sample, line * 0.6), color_of(entry.argb));
        } else {
            painter.setPen(pen(entry.argb, 1.5));
            painter.drawLine(QPointF(left, middle), QPointF(left + sample, middle));
        }
        painter.setPen(pen(0xff000000, 0.75));
        painter.drawText(QPointF(left + sample + gap, y + metrics.ascent()),
                         text_of(entry.text));
        y += line;
    }
}

// The picture's bytes, SVG or PNG; the caller writes them, so that the file's name stays the
// bytes it was given (Qt would read it as UTF-8) and every failed write is told.
bool render_bytes(bool svg, const FitPicture& picture, QByteArray& bytes)
{
    QBuffer buffer(&bytes);
    if (svg) {
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize({picture.pixel_width, picture.pixel_height});
        generator.setViewBox(QRect(0, 0, picture.pixel_width, picture.pixel_height));
        generator.setResolution(picture.dpi);
        generator.setTitle(QStringLiteral("tolvenar-fit"));
        QPainter painter;
        if (!painter.begin(&generator))
            return false;
        draw(painter, picture);
        return painter.end();
    }
    QImage image(picture.pixel_width, picture.pixel_height, QImage::Format_RGB32);
    const int dots_per_metre = static_cast<int>(std::lround(picture.dpi / 0.0254));
    image.setDotsPerMeterX(dots_per_metre);
    image.setDotsPerMeterY(dots_per_metre);
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
