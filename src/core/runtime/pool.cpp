// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/runtime/pool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace tolvenar {

namespace {

// The pool threads that work asked for from outside the pool may keep busy, its items' own
// parallel work included: the count asked less the asking thread, which works too (all of it
// for a ParallelWork, whose thread does other things). Under the pool's mutex.
struct Budget {
    std::size_t total = 0;
    std::size_t free = total;
};

// The budget of the work whose item this thread runs; null outside any.
thread_local Budget* t_budget = nullptr;

// This thread's budget for a scope.
class InBudget {
public:
    explicit InBudget(Budget* budget) : m_before(std::exchange(t_budget, budget)) {}
    ~InBudget() { t_budget = m_before; }
    InBudget(const InBudget&) = delete;
    InBudget& operator=(const InBudget&) = delete;

private:
    Budget* m_before;
};

}  // namespace

// One call's items and the pool threads that work on them.
struct ParallelWork::Job {
    // `threads`: the budget of the job unless this thread works for another already.
    Job(std::size_t items, const std::function<void(std::size_t)>& run, std::size_t threads)
        : count(items), item(run), own{threads}, budget(t_budget != nullptr ? t_budget : &own)
    {
    }

    // Runs the next item not handed out; false when none is left or an item has thrown.
    bool run_one()
    {
        if (halted.load(std::memory_order_relaxed))
            return false;
        const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= count)
            return false;
        try {
            item(i);
        } catch (...) {
            // Every item before a thrown one was handed out before it: the first in order that
            // throws is always among those run, and kept whatever the timing.
            const std::lock_guard lock(error_lock);
            if (i < error_at) {
                error = std::current_exception();
                error_at = i;
            }
            halted = true;
        }
        return true;
    }

    void run_all()
    {
        const InBudget in(budget);
        while (run_one()) {
        }
    }

    void rethrow() const
    {
        if (error)
            std::rethrow_exception(error);
    }

    const std::size_t count;
    const std::function<void(std::size_t)>& item;
    Budget own;
    Budget* const budget;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> halted{false};  // no more items handed out
    std::mutex error_lock;
    std::exception_ptr error;
    std::size_t error_at = std::numeric_limits<std::size_t>::max();
    // Under the pool's mutex:
    std::size_t wanted = 0;  // pool threads it may still take
    std::size_t joined = 0;  // pool threads in it now
    std::condition_variable left;  // joined fell to 0
};

namespace {

using Job = ParallelWork::Job;

class Pool {
public:
    // Opens `job` to up to `helpers` pool threads, started as its budget needs them; how many
    // it may have.
    std::size_t open(Job& job, std::size_t helpers)
    {
        std::unique_lock lock(m_mutex);
        while (m_threads < job.budget->total) {
            try {
                std::thread([this] { serve(); }).detach();
            } catch (const std::system_error&) {  // a process or thread limit: fewer threads
                break;
            }
            ++m_threads;
        }
        const std::size_t wanted = std::min({helpers, job.budget->total, m_threads});
        job.wanted = wanted;
        if (wanted == 0)
            return 0;
        m_open.push_back(&job);
        lock.unlock();
        if (wanted == 1)
            m_work.notify_one();
        else
            m_work.notify_all();
        return wanted;
    }

    // Closes `job` to threads not yet in it and waits for those in it to leave.
    void close(Job& job)
    {
        std::unique_lock lock(m_mutex);
        std::erase(m_open, &job);
        job.wanted = 0;
        job.left.wait(lock, [&] { return job.joined == 0; });
    }

    // A forked child has none of the parent's threads: it starts a pool of its own, and the
    // parent's, whose mutex the fork found locked, is left alone.
    static Pool& current()
    {
        return *instance();
    }

private:
    static Pool*& instance()
    {
        static Pool* pool = [] {
            pthread_atfork([] { instance()->m_mutex.lock(); },
                           [] { instance()->m_mutex.unlock(); }, [] { instance() = new Pool; });
            return new Pool;  // never destroyed: its threads live until the process ends
        }();
        return pool;
    }

    // The oldest open job its budget lets one more thread into; null when none.
    Job* joinable() const
    {
        for (Job* job : m_open)
            if (job->budget->free > 0)
                return job;
        return nullptr;
    }

    void serve()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            Job* job = nullptr;
            m_work.wait(lock, [&] { return (job = joinable()) != nullptr; });
            --job->budget->free;
            ++job->joined;
            if (--job->wanted == 0)
                std::erase(m_open, job);
            lock.unlock();
            job->run_all();
            lock.lock();
            // This thread looks for work again at once: a job of the same budget that waited
            // for a thread gets this one.
            ++job->budget->free;
            if (--job->joined == 0)
                job->left.notify_all();  // under the lock: the job lives until its caller sees it
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;  // a job was opened
    std::vector<Job*> m_open;        // jobs that may take more threads, oldest first
    std::size_t m_threads = 0;
};

}  // namespace

std::size_t usable_cores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<std::size_t>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

std::size_t threads_to_use(std::size_t asked)
{
    return asked > 0 ? asked : usable_cores();
}

void parallel_for(std::size_t count, std::size_t threads,
                  const std::function<void(std::size_t)>& item)
{
    const std::size_t asked = threads_to_use(threads);
    Job job(count, item, asked - 1);
    if (std::min(asked, count) <= 1) {
        const InBudget in(job.budget);
        for (std::size_t i = 0; i < count; ++i)
            item(i);
        return;
    }
    Pool& pool = Pool::current();
    pool.open(job, std::min(asked, count) - 1);
    job.run_all();
    pool.close(job);
    job.rethrow();
}

ParallelWork::ParallelWork(std::size_t count, std::size_t threads,
                           std::function<void(std::size_t)> item)
    : m_item(std::move(item)), m_job(std::make_unique<Job>(count, m_item, threads_to_use(threads)))
{
    m_helpers = Pool::current().open(*m_job, count);
}

ParallelWork::~ParallelWork()
{
    if (m_job == nullptr)  // finished
        return;
    m_job->halted = true;
    Pool::current().close(*m_job);
}

bool ParallelWork::helped() const noexcept
{
    return m_helpers > 0;
}

bool ParallelWork::run_next()
{
    const InBudget in(m_job->budget);
    return m_job->run_one();
}

void ParallelWork::finish()
{
    m_job->run_all();
    Pool::current().close(*m_job);
    const std::unique_ptr<Job> job = std::move(m_job);
    job->rethrow();
}

}  // namespace tolvenar
