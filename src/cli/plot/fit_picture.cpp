// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing module of --plot, loaded only when a picture is written, so that a search alone
// does not load Qt.
#include "cli/plot/fit_picture.h"

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
    for (const Polyline& line : picture.lines) {
        if (line.points.empty())
            continue;
        const auto pixel = [&](const std::pair<double, double>& point) {
            return QPointF(point.first * sx, (point.second - picture.top) * sy);
        };
        QPainterPath path(pixel(line.points.front()));
        for (const auto& point : line.points)
            path.lineTo(pixel(point));
        QPen pen{QColor::fromRgb(static_cast<QRgb>(line.rgb))};
        pen.setWidthF(line.pen);
        painter.strokePath(path, pen);
    }
    painter.setClipping(false);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, kWidth - 1, kHeight - 1);
}

std::string draw_picture(const std::string& path, const FitPicture& picture)
{
    const QString name = QString::fromStdString(path);
    if (name.right(4).toLower() == QStringLiteral(".svg")) {
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

}  // namespace

}  // namespace tolvenar::plot

// The module's one entry, found by name when the first picture is written.
extern "C" [[gnu::visibility("default")]] void
tolvenar_fit_draw_picture(const std::string& path, const tolvenar::plot::FitPicture& picture,
                          std::string& failed)
{
    failed = tolvenar::plot::draw_picture(path, picture);
}
