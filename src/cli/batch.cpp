// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch.h"

#include "core/runtime/pool.h"

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolvenar::cli {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{0};  // the first signal taken; 0: none
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void on_interrupt(int signal)
{
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    g_interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);  // a second signal ends the process at once
    std::signal(SIGTERM, SIG_DFL);
}

// Runs its action when it goes out of scope, on a return and on an exception alike.
template <typename Action>
struct AtExit {
    Action action;
    ~AtExit() { action(); }
};

}  // namespace

std::atomic<bool>& interrupt_flag()
{
    return g_interrupted;
}

void install_interrupt_handler()
{
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
}

int interrupted_exit_code()
{
    const int signal = g_signal.load();
    return signal > 0 ? 128 + signal : 128 + SIGINT;
}

void run_in_order(std::size_t count, std::size_t threads,
                  const std::function<FitRecord(std::size_t)>& fit,
                  const std::function<void(FitRecord&&)>& take,
                  const std::function<void()>& tick)
{
    const std::size_t workers = std::min(threads_to_use(threads), count);  // files at once
    const std::size_t ahead = 2 * std::max<std::size_t>(workers, 1);
    std::mutex mutex;
    std::condition_variable done;  // a result came: for the calling thread
    std::condition_variable room;  // a result was taken, or the workers are to stop
    std::vector<std::optional<FitRecord>> slots(std::min(count, ahead));  // file i in i % size
    std::size_t taken = 0;   // files taken
    bool stopping = false;   // take threw: no file is started any more
    ParallelWork work(count, threads, [&](std::size_t i) {
        {
            std::unique_lock lock(mutex);
            room.wait(lock, [&] { return stopping || i < taken + ahead; });
            if (stopping)
                return;
        }
        FitRecord result = fit(i);
        {
            const std::lock_guard lock(mutex);
            slots[i % slots.size()] = std::move(result);
        }
        done.notify_one();
    });
    // Ends the workers' waits before the work waits for them, on return and on an exception.
    const AtExit stop_workers{[&] {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        room.notify_all();
    }};
    for (std::size_t i = 0; i < count; ++i) {
        if (!work.helped())  // no thread to be had: this one fits the file
            work.run_next();
        std::unique_lock lock(mutex);
        std::optional<FitRecord>& slot = slots[i % slots.size()];
        while (!done.wait_for(lock, std::chrono::milliseconds(200),
                              [&] { return slot.has_value(); })) {
            lock.unlock();
            tick();
            lock.lock();
        }
        FitRecord result = std::move(*slot);
        slot.reset();
        ++taken;
        lock.unlock();
        room.notify_all();
        take(std::move(result));
        tick();
    }
}

ProgressLine::ProgressLine(std::ostream& err, bool terminal, std::size_t files,
                           std::int64_t trials)
    : m_err(err), m_terminal(terminal), m_files(files), m_trials(trials)
{
}

void ProgressLine::update(const Progress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_terminal || now - m_start < std::chrono::seconds(1) ||
        now - m_drawn < std::chrono::milliseconds(200))
        return;
    m_drawn = now;
    m_err << "\r\033[Ktolvenar-fit: " << progress.files.load() << '/' << m_files << " files, "
          << progress.trials.load() << '/' << m_trials << " trials" << std::flush;
    m_shown = true;
}

void ProgressLine::wipe()
{
    if (m_shown)
        m_err << "\r\033[K" << std::flush;
    m_shown = false;
}

}  // namespace tolvenar::cli
