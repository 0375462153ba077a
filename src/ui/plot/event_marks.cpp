// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/plot/event_marks.h"

#include "core/window/strip_rules.h"
#include "ui/toolkit/picture_box.h"

#include <QEvent>
#include <QPainter>

namespace tolvenar {

namespace {

constexpr QRgb kBand = 0x3800a000;  // see-through: the data stay readable under it
constexpr QRgb kTick = 0xff007000;

}  // namespace

EventMarks::EventMarks(PictureBox* strip) : QWidget(strip), m_strip(strip)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(strip->contentsRect());
    strip->installEventFilter(this);
}

void EventMarks::setSpans(std::vector<EventSpan> spans)
{
    m_spans = std::move(spans);
    setVisible(!m_spans.empty());
    update();
}

bool EventMarks::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_strip && event->type() == QEvent::Resize)
        setGeometry(m_strip->contentsRect());
    return false;
}

void EventMarks::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.85);
    painter.setFont(small);
    const int text_height = painter.fontMetrics().height();
    for (std::size_t k = 0; k < m_spans.size(); ++k) {
        const std::optional<ColumnSpan> columns =
            event_columns(m_spans[k].onset, m_spans[k].end, m_strip->ScaleLeft(),
                          m_strip->ScaleWidth(), width());
        if (!columns)
            continue;
        const QRect band(columns->first, 0, columns->last - columns->first + 1, height());
        painter.fillRect(band, QColor::fromRgba(kBand));
        painter.setPen(QColor::fromRgba(kTick));
        painter.drawLine(band.left(), 0, band.left(), height());
        painter.drawLine(band.right(), 0, band.right(), height());
        const QString number = QString::number(k + 1);
        const int text_width = painter.fontMetrics().horizontalAdvance(number);
        painter.drawText(QRect(band.center().x() - text_width / 2 - 1, 1, text_width + 2,
                               text_height),
                         Qt::AlignCenter, number);
    }
}

}  // namespace tolvenar
