// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/busy_pump.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace tolvenar {

BusyPump::BusyPump(QWidget& window) : m_window(window)
{
    QCoreApplication::instance()->installEventFilter(this);
}

BusyPump::~BusyPump()
{
    QCoreApplication::instance()->removeEventFilter(this);
    if (m_close)  // after the caller has unwound, so that the program ends from its event loop
        QMetaObject::invokeMethod(&m_window, [window = &m_window] { window->close(); },
                                  Qt::QueuedConnection);
}

void BusyPump::pump()
{
    m_pumping = true;
    QCoreApplication::processEvents();
    m_pumping = false;
}

bool BusyPump::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && watched == &m_window) {
        event->ignore();
        m_close = true;
        m_stop = true;
        return true;
    }
    if (!m_pumping || !event->isInputEvent())
        return false;
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        m_stop = true;
    return true;
}

}  // namespace tolvenar
