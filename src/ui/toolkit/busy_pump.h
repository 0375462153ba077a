// SPDX-License-Identifier: GPL-3.0-or-later
// A long routine that runs on the window's own thread and pumps now and then: the window keeps
// painting, input made meanwhile is dropped (never delivered once the routine has ended), Escape
// asks the routine to stop, and closing the window asks it to stop and closes the window after.
#pragma once

#include <QObject>

class QWidget;

namespace tolvenar {

class BusyPump final : public QObject {
public:
    explicit BusyPump(QWidget& window);  // the window whose closing waits for the routine's end
    ~BusyPump() override;                // a close asked for meanwhile happens now, queued
    BusyPump(const BusyPump&) = delete;
    BusyPump& operator=(const BusyPump&) = delete;

    // Delivers what is waiting: paints, timers and posted calls run, input is dropped.
    void pump();
    bool stop_requested() const { return m_stop; }  // Escape came, or a close

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    bool m_pumping = false;  // input is dropped only here: a dialog the routine opens gets its own
    bool m_stop = false;
    bool m_close = false;
};

}  // namespace tolvenar
