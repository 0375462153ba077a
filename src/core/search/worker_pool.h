// SPDX-License-Identifier: GPL-3.0-or-later
// Threads kept for the length of a search, so that the system spreads them over the cores once
// rather than placing a new thread for every batch of trials.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvenar {

class WorkerPool {
public:
    WorkerPool() = default;
    ~WorkerPool();
    // Threads are no part of the value: a copy starts its own, an assigned pool keeps its own.
    WorkerPool(const WorkerPool&) : WorkerPool() {}
    WorkerPool& operator=(const WorkerPool&) noexcept { return *this; }

    // job(0) on the calling thread and job(1..parts - 1) on the pool's threads, started as
    // needed; returns when every part is done. A part whose thread cannot be started runs here.
    void run(int parts, const std::function<void(int)>& job);

private:
    void serve(int part);

    std::mutex m_mutex;
    std::condition_variable m_start;
    std::condition_variable m_done;
    std::vector<std::jthread> m_threads;  // thread k - 1 does part k
    const std::function<void(int)>* m_job = nullptr;
    unsigned m_round = 0;   // counts the calls of run
    int m_parts = 0;        // parts of the current round
    int m_pending = 0;      // parts of the current round not done
    bool m_closing = false;
};

}  // namespace tolvenar
