// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/batch.h"

#include <sched.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tolvenar::cli {

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void on_interrupt(int)
{
    g_interrupted.store(true);
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the process at once
}

}  // namespace

std::atomic<bool>& interrupt_flag()
{
    return g_interrupted;
}

void install_interrupt_handler()
{
    std::signal(SIGINT, on_interrupt);
}

std::size_t usable_cores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<std::size_t>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

void run_in_order(std::size_t count, std::size_t workers,
                  const std::function<FileResult(std::size_t)>& fit,
                  const std::function<void(FileResult&&)>& take,
                  const std::function<void()>& tick)
{
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::optional<FileResult>> results(count);
    std::size_t next = 0;
    const auto work = [&] {
        for (;;) {
            std::size_t i = 0;
            {
                const std::lock_guard lock(mutex);
                if (next == count)
                    return;
                i = next++;
            }
            FileResult result = fit(i);
            {
                const std::lock_guard lock(mutex);
                results[i] = std::move(result);
            }
            done.notify_one();
        }
    };
    std::vector<std::jthread> pool;
    for (std::size_t w = 0; w < std::min(workers, count); ++w)
        pool.emplace_back(work);
    for (std::size_t i = 0; i < count; ++i) {
        std::unique_lock lock(mutex);
        while (!done.wait_for(lock, std::chrono::milliseconds(200),
                              [&] { return results[i].has_value(); })) {
            lock.unlock();
            tick();
            lock.lock();
        }
        FileResult result = std::move(*results[i]);
        results[i].reset();  // a large batch keeps only what is not yet written
        lock.unlock();
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
