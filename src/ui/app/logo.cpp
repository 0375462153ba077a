// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/logo.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <array>
#include <cmath>

namespace tolvenar {

namespace {

// The event of the motif in unit coordinates (x right, y up): a rise, a plateau and a return.
constexpr std::array<QPointF, 6> kModel{{{0.0, 0.18}, {0.30, 0.18}, {0.45, 0.82},
                                         {0.66, 0.74}, {0.78, 0.18}, {1.0, 0.18}}};

double model_at(double x)
{
    for (std::size_t k = 1; k < kModel.size(); ++k) {
        if (x <= kModel[k].x()) {
            const QPointF a = kModel[k - 1];
            const QPointF b = kModel[k];
            return a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
        }
    }
    return kModel.back().y();
}

// A fixed, noise-like wobble so the series looks measured; the same on every start.
double wobble(int i)
{
    return 0.045 * std::sin(i * 1.7) + 0.03 * std::sin(i * 4.3 + 1.0) + 0.02 * std::sin(i * 9.1);
}

void draw_motif(QPainter& p, const QRectF& area, int points, qreal series_width, qreal model_width)
{
    const auto at = [&](double x, double y) {
        return QPointF(area.left() + x * area.width(), area.bottom() - y * area.height());
    };
    QPolygonF series;
    for (int i = 0; i <= points; ++i) {
        const double x = static_cast<double>(i) / points;
        series << at(x, model_at(x) + wobble(i));
    }
    p.setPen(QPen(QColor(0, 0, 255), series_width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(series);
    QPolygonF model;
    for (const QPointF& vertex : kModel)
        model << at(vertex.x(), vertex.y());
    p.setPen(QPen(QColor(220, 0, 0), model_width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(model);
}

}  // namespace

QImage make_logo()
{
    QImage logo(263, 128, QImage::Format_RGB888);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    // A light grid, as on measuring paper.
    p.setPen(QColor(225, 230, 238));
    for (int x = 12; x < 263; x += 25)
        p.drawLine(x, 34, x, 122);
    for (int y = 122; y > 30; y -= 22)
        p.drawLine(8, y, 255, y);
    draw_motif(p, QRectF(12, 44, 239, 74), 80, 1.4, 3.0);
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(40, 48, 72));
    p.drawText(QRectF(12, 2, 240, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Tolvenar"));
    return logo;
}

QImage make_icon(int size)
{
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath card;
    card.addRoundedRect(QRectF(0.06 * s, 0.06 * s, 0.88 * s, 0.88 * s), 0.14 * s, 0.14 * s);
    p.fillPath(card, Qt::white);
    p.setPen(QPen(QColor(40, 48, 72), std::max(1.0, 0.03 * s)));
    p.drawPath(card);
    draw_motif(p, QRectF(0.16 * s, 0.22 * s, 0.68 * s, 0.56 * s), 24, std::max(1.0, 0.035 * s),
               std::max(1.5, 0.07 * s));
    return icon;
}

}  // namespace tolvenar
