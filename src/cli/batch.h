// SPDX-License-Identifier: GPL-3.0-or-later
// Many files at once: a worker pool whose results come back in file order, the flag of SIGINT
// and SIGTERM that the searches, refinements and bootstraps poll, and the progress line a
// terminal shows.
#pragma once

#include "core/job/fit_record.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>

namespace tolvenar::cli {

// Shared by the workers; read by the progress line.
struct Progress {
    std::atomic<std::int64_t> trials{0};  // trials made, every file together
    std::atomic<std::size_t> files{0};    // files finished
};

// Set by SIGINT (Ctrl-C) or SIGTERM (a batch scheduler's time limit) once
// install_interrupt_handler() has run; a second signal of either ends the process.
std::atomic<bool>& interrupt_flag();
void install_interrupt_handler();
// The exit status of an interrupted call: 128 + the signal, as a shell reports it (130 when the
// flag was set without one).
int interrupted_exit_code();

// Calls fit(i) for i in 0..count - 1 on the pool's threads, up to `threads` of them (0: every
// usable core) at one file each, and take(result) on the calling thread in the order of i, each
// as soon as it and those before it are done; tick() after each take and at least five times a
// second while waiting. File i starts only while fewer than 2 * min(threads, count) files lie
// between it and the last one taken, so that memory does not grow with the count; threads the
// files leave idle take the files' own parallel work. Threads that cannot be started are done
// without; with none, the calling thread fits each file itself. fit must not throw; an
// exception from take stops the workers after their file in hand and is passed on.
void run_in_order(std::size_t count, std::size_t threads,
                  const std::function<FitRecord(std::size_t)>& fit,
                  const std::function<void(FitRecord&&)>& take,
                  const std::function<void()>& tick);

// "tolvenar-fit: 3/10 files, 12000/100000 trials" on one terminal line, rewritten in place; shown
// once the work has lasted a second, and wiped before any other line goes to the terminal.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool terminal, std::size_t files, std::int64_t trials);
    void update(const Progress& progress);
    void wipe();

private:
    std::ostream& m_err;
    bool m_terminal;
    std::size_t m_files;
    std::int64_t m_trials;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_drawn;  // last drawn; at most five times a second
    bool m_shown = false;
};

}  // namespace tolvenar::cli
