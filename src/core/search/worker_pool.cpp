// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/worker_pool.h"

#include <system_error>

namespace tolvenar {

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_start.notify_all();
    m_threads.clear();  // joins
}

void WorkerPool::run(int parts, const std::function<void(int)>& job)
{
    while (static_cast<int>(m_threads.size()) < parts - 1) {
        try {
            const int part = static_cast<int>(m_threads.size()) + 1;
            m_threads.emplace_back([this, part] { serve(part); });
        } catch (const std::system_error&) {
            break;
        }
    }
    const int helped = std::min(parts, static_cast<int>(m_threads.size()) + 1);
    {
        const std::lock_guard lock(m_mutex);
        m_job = &job;
        m_parts = helped;
        m_pending = helped - 1;
        ++m_round;
    }
    m_start.notify_all();
    job(0);
    for (int part = helped; part < parts; ++part)  // no thread to be had: this one does it
        job(part);
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_pending == 0; });
    m_job = nullptr;
}

void WorkerPool::serve(int part)
{
    unsigned seen = 0;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_start.wait(lock, [&] { return m_closing || m_round != seen; });
        if (m_closing)
            return;
        seen = m_round;
        if (part >= m_parts)
            continue;
        const std::function<void(int)>& job = *m_job;
        lock.unlock();
        job(part);
        lock.lock();
        if (--m_pending == 0)
            m_done.notify_one();
    }
}

}  // namespace tolvenar
