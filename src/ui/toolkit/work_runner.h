// SPDX-License-Identifier: GPL-3.0-or-later
// Long work off the window's thread: one job at a time runs on a worker thread, and what it
// hands back reaches the window's thread in the order it was handed, as queued signals. Escape
// asks the job to stop; closing the window asks it to stop and closes the window once it has.
#pragma once

#include <QObject>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class QThread;
class QWidget;

namespace tolvenar {

class WorkRunner final : public QObject {
    Q_OBJECT

public:
    explicit WorkRunner(QWidget& window);
    ~WorkRunner() override;  // stops a job still running and waits for its end
    WorkRunner(const WorkRunner&) = delete;
    WorkRunner& operator=(const WorkRunner&) = delete;

    // Runs `job` on the worker thread. `finished` runs on the window's thread after the job has
    // ended and everything it handed back has been taken. One job at a time: false when busy.
    bool start(std::function<void()> job, std::function<void()> finished);
    bool busy() const { return m_thread != nullptr; }

    // Asks the running job to stop; the job polls stop_flag().
    void stop() { m_stop.store(true); }
    const std::atomic<bool>& stop_flag() const { return m_stop; }
    bool stop_requested() const { return m_stop.load(std::memory_order_relaxed); }

    // From the job: `call` runs on the window's thread, after everything handed back before.
    void hand_back(std::function<void()> call);
    // The same for a picture of the work in progress: it replaces the previous picture when
    // that has not been taken yet, so that a slow screen never falls behind the work.
    void hand_back_frame(std::function<void()> call);

    // Runs the window's events until no job runs (tests and picture runs).
    void wait_until_idle();
    // Stops a job still running and waits for its end, dropping what it handed back: for a
    // window that is going away.
    void shut_down();

signals:
    void handedBack();  // queued to the window's thread: take what the job handed back
    void idle();        // a job has ended and its `finished` has run

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Call {
        std::function<void()> run;
        bool frame = false;
    };
    void take();
    void end();

    QWidget& m_window;
    QThread* m_thread = nullptr;
    std::function<void()> m_finished;
    std::atomic<bool> m_stop{false};
    bool m_close = false;  // the window asked to close while the job ran

    std::mutex m_mutex;
    std::deque<Call> m_calls;
    bool m_signalled = false;  // a handedBack signal is on its way
};

}  // namespace tolvenar
