// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/toolkit/work_runner.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>

#include <utility>

namespace tolvenar {

WorkRunner::WorkRunner(QWidget& window) : QObject(&window), m_window(window)
{
    connect(this, &WorkRunner::handedBack, this, &WorkRunner::take, Qt::QueuedConnection);
}

WorkRunner::~WorkRunner()
{
    shut_down();
}

void WorkRunner::shut_down()
{
    if (m_thread == nullptr)
        return;
    stop();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    QCoreApplication::instance()->removeEventFilter(this);
    const std::lock_guard lock(m_mutex);
    m_calls.clear();  // for a window that is going away
}

bool WorkRunner::start(std::function<void()> job, std::function<void()> finished)
{
    if (busy())
        return false;
    m_stop.store(false);
    m_finished = std::move(finished);
    m_thread = QThread::create(std::move(job));
    connect(m_thread, &QThread::finished, this, &WorkRunner::end, Qt::QueuedConnection);
    QCoreApplication::instance()->installEventFilter(this);
    m_thread->start();
    return true;
}

void WorkRunner::hand_back(std::function<void()> call)
{
    bool signal = false;
    {
        const std::lock_guard lock(m_mutex);
        m_calls.push_back({std::move(call), false});
        signal = !std::exchange(m_signalled, true);
    }
    if (signal)
        emit handedBack();
}

void WorkRunner::hand_back_frame(std::function<void()> call)
{
    bool signal = false;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_calls.empty() && m_calls.back().frame)
            m_calls.back().run = std::move(call);
        else
            m_calls.push_back({std::move(call), true});
        signal = !std::exchange(m_signalled, true);
    }
    if (signal)
        emit handedBack();
}

void WorkRunner::take()
{
    for (;;) {
        Call call;
        {
            const std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                m_signalled = false;
                return;
            }
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call.run();  // may open a dialog, whose events loop back here: nothing is taken twice
    }
}

void WorkRunner::end()
{
    if (m_thread == nullptr)  // shut down meanwhile
        return;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    QCoreApplication::instance()->removeEventFilter(this);
    take();
    if (auto finished = std::exchange(m_finished, nullptr))
        finished();
    emit idle();
    if (std::exchange(m_close, false))
        m_window.close();
}

void WorkRunner::wait_until_idle()
{
    if (!busy())
        return;
    QEventLoop loop;
    connect(this, &WorkRunner::idle, &loop, &QEventLoop::quit);
    loop.exec();
}

bool WorkRunner::eventFilter(QObject* watched, QEvent* event)
{
    if (!busy())
        return false;
    if (event->type() == QEvent::Close && watched == &m_window) {
        event->ignore();
        m_close = true;
        stop();
        return true;
    }
    // Escape anywhere in the window, unless a dialog the job opened takes it.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        QApplication::activeModalWidget() == nullptr) {
        const auto* widget = qobject_cast<const QWidget*>(watched);
        if (widget != nullptr && (widget == &m_window || m_window.isAncestorOf(widget))) {
            stop();
            return true;
        }
    }
    return false;
}

}  // namespace tolvenar
