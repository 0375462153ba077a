// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/engine_state.h"
#include "core/model/fit.h"
#include "core/refine/bootstrap.h"
#include "core/refine/optimum.h"
#include "core/refine/refine.h"
#include "core/runtime/pool.h"
#include "core/search/search.h"
#include "core/session/family_comparison.h"
#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace tolvenar;
using namespace std::chrono_literals;

namespace {

constexpr ModelFamily kDuration = ModelFamily::EventWithDuration;

// The bytes of values, to compare bit for bit.
struct Bits {
    std::string bytes;
    template <typename T>
    Bits& operator<<(const T& value)
    {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }
    template <typename T>
    Bits& operator<<(const std::vector<T>& values)
    {
        for (const T& value : values)
            *this << value;
        return *this;
    }
};

// A plateau event over x = 0..299 with a ripple for noise.
struct Series {
    std::vector<double> t, y;
    Series()
    {
        for (int i = 0; i < 300; ++i) {
            t.push_back(i);
            y.push_back(std::clamp(std::min(i - 80, 230 - i) / 40.0, 0.0, 1.0) + 0.2 * std::sin(37.0 * i));
        }
    }
    EngineState state() const
    {
        EngineState s = test::state_over(t, y);
        s.NodeCount = node_count_of(kDuration);
        forget_best_of_best(s);
        return s;
    }
};

std::string searched(const Series& series, unsigned threads)
{
    EngineState s = series.state();
    SearchEngine engine;
    engine.set_threads(static_cast<int>(threads));
    RandomSource random;
    SearchObserver quiet;
    engine.run(s, {kDuration, 0, 2, 1000, 0.0f, 299.0f}, random, quiet);
    return (Bits() << s.BestOfBestX << s.BestOfBestY << s.BestOfBestSqDist << s.BestOfBestR
                   << random.draws() << s.TrialCount).bytes;
}

std::string optimum(const Series& series, unsigned threads)
{
    const FamilyShape shape = family_shape(kDuration, node_count_of(kDuration));
    refine::OptimumProblem p{series.t, series.y, {}, shape, 0.0, 299.0};
    p.lower.assign(shape.moved.size(), 0.0), p.upper.assign(shape.moved.size(), 299.0);
    p.level_lower.assign(shape.levels(), -INFINITY), p.level_upper.assign(shape.levels(), INFINITY);
    p.threads = threads;
    Bits bits;
    for (const refine::Minimum& m : refine::global_optimum(p).minima)
        bits << m.moved << m.sq_dist;
    return bits.bytes;
}

// Replicates searched and refined: a search inside each item of the pool.
std::string bootstrapped(const Series& series, unsigned threads)
{
    EngineState s = series.state();
    RandomSource random;
    SearchObserver quiet;
    SearchEngine().run(s, {kDuration, 0, 2, 200, 0.0f, 299.0f}, random, quiet);
    const refine::RefinedFit fit =
        refine::refine_fit(fit_crop(s), {kDuration, false, {s.BestOfBestX, s.BestOfBestY}, {}});
    refine::BootstrapSettings settings{kDuration, false, 2, 200, 0.0f, 299.0f, 9, 0.9, 5, threads};
    settings.search = true;
    const refine::BootstrapResult result = refine::bootstrap(fit_crop(s), fit, settings);
    Bits bits;
    for (const auto& r : result.replicates)
        bits << r.has_value() << (r ? r->model.x : Vertices{}) << (r ? r->model.y : Vertices{});
    for (std::size_t k = 1; k <= 6; ++k)
        bits << result.x[k].lo << result.x[k].hi << result.y[k].lo << result.y[k].hi;
    return bits.bytes;
}

// Every family's optimum on the pool, then the event test's replicates.
std::string compared(const Series& series, unsigned threads)
{
    ComparisonRequest request;
    request.right = 299.0;
    request.replicates = 14;
    request.threads = threads;
    const FamilyComparison got = compare_crop(series.t, series.y, {}, request);
    Bits bits;
    for (const FamilyOptimum& o : got.optima)
        bits << o.sq_dist;
    return (bits << got.comparison.test->lr << got.comparison.test->p).bytes;
}

TEST(Pool, EveryParallelWorkIsBitIdenticalOnOneTwoAndSevenThreads)
{
    const Series series;
    const struct {
        const char* work;
        std::string (*run)(const Series&, unsigned);
    } rows[] = {{"search", searched}, {"optimum", optimum}, {"bootstrap", bootstrapped},
                {"event test", compared}};
    for (const auto& row : rows) {
        const std::string one = row.run(series, 1);
        ASSERT_FALSE(one.empty()) << row.work;
        for (const unsigned threads : {2u, 7u})
            EXPECT_EQ(row.run(series, threads), one) << row.work << " on " << threads << " threads";
    }
}

// 0 asks for the cores this process may use, as taskset sets them; any other count is taken.
TEST(Pool, ZeroThreadsAreTheCoresTheProcessMayUse)
{
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu)
        if (CPU_ISSET(cpu, &all))
            CPU_SET(cpu, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const std::size_t pinned = threads_to_use(0);
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(pinned, 1u);
    EXPECT_EQ(threads_to_use(0), static_cast<std::size_t>(CPU_COUNT(&all)));
    for (const std::size_t asked : {1u, 2u, 7u})
        EXPECT_EQ(threads_to_use(asked), asked);
}

// Work asked for from inside an item runs without a deadlock, and the threads at work stay
// within the count the outer work asked for, however many the pool holds.
TEST(Pool, NestedWorkStaysWithinTheCountAsked)
{
    parallel_for(7, 7, [](std::size_t) { std::this_thread::sleep_for(5ms); });  // six held
    std::mutex mutex;
    int busy = 0, most = 0;
    static thread_local int depth = 0;  // items of this test the thread is in
    const auto at_work = [&](int step) {
        if ((step > 0 && depth++ > 0) || (step < 0 && --depth > 0))
            return;
        const std::lock_guard lock(mutex);
        busy += step;
        most = std::max(most, busy);
    };
    std::vector<std::atomic<int>> runs(6 * 40);
    parallel_for(6, 3, [&](std::size_t i) {
        at_work(1);
        parallel_for(40, 3, [&](std::size_t j) {
            at_work(1);
            ++runs[i * 40 + j];
            std::this_thread::sleep_for(200us);
            at_work(-1);
        });
        at_work(-1);
    });
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r == 1; }));
    EXPECT_LE(most, 3);
}

TEST(Pool, AnItemsExceptionReachesItsCallerTheFirstInItemOrder)
{
    // Item 60 throws at once and item 40 later: the caller hears of 40 whoever threw first.
    for (const unsigned threads : {1u, 2u, 7u}) {
        std::string what;
        try {
            parallel_for(100, threads, [](std::size_t i) {
                if (i == 40)
                    std::this_thread::sleep_for(20ms);
                if (i == 40 || i == 60)
                    throw std::runtime_error(std::to_string(i));
            });
        } catch (const std::runtime_error& error) {
            what = error.what();
        }
        EXPECT_EQ(what, "40") << threads << " threads";
    }
    // From an item's own parallel work too; the pool works on after.
    EXPECT_THROW(parallel_for(4, 2,
                              [](std::size_t) {
                                  parallel_for(4, 2, [](std::size_t j) {
                                      if (j == 3)
                                          throw std::out_of_range("3");
                                  });
                              }),
                 std::out_of_range);
    std::atomic<std::size_t> sum{0};
    parallel_for(100, 7, [&](std::size_t i) { sum += i; });
    EXPECT_EQ(sum, 4950u);
}

// A process forked after parallel work (Python's multiprocessing) has none of the pool's
// threads: it starts its own, and two items still meet at work at once.
TEST(Pool, AForkedChildRunsItsOwnParallelWork)
{
    parallel_for(8, 2, [](std::size_t) { std::this_thread::sleep_for(1ms); });
    const pid_t child = fork();
    if (child == 0) {
        std::atomic<int> arrived{0};
        const auto until = std::chrono::steady_clock::now() + 10s;
        parallel_for(2, 2, [&](std::size_t) {
            for (++arrived; arrived < 2;)
                if (std::chrono::steady_clock::now() > until)
                    _exit(1);
        });
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
