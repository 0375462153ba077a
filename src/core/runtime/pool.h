// SPDX-License-Identifier: GPL-3.0-or-later
// One pool of threads for all the parallel work of the process: the search's scoring, the
// optimum, the replicates of the bootstrap and of the event test, the command line's files. Its
// threads start on first use, grow to the largest count asked and stay. The thread that asks
// takes part in its own work and waits only for items other threads have taken, so that an item
// may ask for parallel work of its own (a replicate's optimum) without a deadlock; that work
// shares the threads of the work it is part of, so that no more threads work than the outermost
// count asked. A thread that cannot be started is done without, down to the asking thread
// alone. Items are handed out in order; for results that do not depend on the thread count,
// each item writes a slot of its own and the caller reduces them in item order.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace tolvenar {

// The cores this process may run on: its CPU affinity, as taskset or a batch scheduler sets it.
std::size_t usable_cores();

// The thread count of a request: `asked`, or usable_cores() for 0.
std::size_t threads_to_use(std::size_t asked);

// Runs item(0), ..., item(count - 1), each once, on up to `threads` threads (0: usable_cores()),
// this one included, and returns when all are done. An exception from an item stops the handing
// out and is rethrown here once the items in hand are done: that of the first item in order
// that threw, whichever thread ran it.
void parallel_for(std::size_t count, std::size_t threads,
                  const std::function<void(std::size_t)>& item);

// Items handed to the pool's threads while the thread that made the work does something else
// (the command line writes finished files in order): up to `threads` of them (0: usable_cores())
// at one item each, and those the items leave idle take the items' own parallel work.
class ParallelWork {
public:
    ParallelWork(std::size_t count, std::size_t threads, std::function<void(std::size_t)> item);
    // Hands out no more items and waits for those in hand; an item's exception is dropped.
    ~ParallelWork();
    ParallelWork(const ParallelWork&) = delete;
    ParallelWork& operator=(const ParallelWork&) = delete;

    // Whether a thread of the pool takes items; false: this thread must run them all (run_next).
    bool helped() const noexcept;
    // Runs the next item not yet handed out, here; false when none was left.
    bool run_next();
    // Runs here every item not yet handed out, waits for those in hand, and rethrows as
    // parallel_for does.
    void finish();

    struct Job;

private:
    std::function<void(std::size_t)> m_item;
    std::unique_ptr<Job> m_job;  // null once finished
    std::size_t m_helpers = 0;   // pool threads it was opened to
};

}  // namespace tolvenar
