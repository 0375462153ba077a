// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/plot/fit_picture.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QSvgGenerator>

namespace tolvenar::plot {

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::string ending(const std::string& path)
{
    return QString::fromStdString(path).right(4).toLower().toStdString();
}

void draw(QPainter& painter, const FitPicture& picture)
{
    painter.fillRect(0, 0, kWidth, kHeight, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(0, 0, kWidth, kHeight);
    const double sx = kWidth / picture.width;
    const double sy = kHeight / (picture.bottom - picture.top);
    for (const Polyline& line : picture.lines) {
        if (line.points.empty())
            continue;
        QPainterPath path;
        path.moveTo(line.points.front().first * sx, (line.points.front().second - picture.top) * sy);
        for (const auto& [x, y] : line.points)
            path.lineTo(x * sx, (y - picture.top) * sy);
        QPen pen{QColor::fromRgb(static_cast<QRgb>(line.rgb))};
        pen.setWidthF(line.pen);
        painter.strokePath(path, pen);
    }
    painter.setClipping(false);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, kWidth - 1, kHeight - 1);
}

}  // namespace

bool is_picture_name(const std::string& path)
{
    const std::string end = ending(path);
    return end == ".png" || end == ".svg";
}

std::string write_picture(const std::string& path, const FitPicture& picture)
{
    const QString name = QString::fromStdString(path);
    if (ending(path) == ".svg") {
        QSvgGenerator svg;
        svg.setFileName(name);
        svg.setSize({kWidth, kHeight});
        svg.setViewBox(QRect(0, 0, kWidth, kHeight));
        svg.setTitle(QStringLiteral("tolvenar-fit"));
        QPainter painter;
        if (!painter.begin(&svg))
            return "cannot write the picture " + path;
        draw(painter, picture);
        return painter.end() ? "" : "cannot write the picture " + path;
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter painter(&image);
    draw(painter, picture);
    painter.end();
    return image.save(name, "PNG") ? "" : "cannot write the picture " + path;
}

}  // namespace tolvenar::plot
