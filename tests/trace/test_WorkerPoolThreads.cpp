// The threads hop workers run on: every worker starts at once, ended workers' threads are
// reused, and idle threads go away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "trace/HopWorkerPool.h"

namespace hoplark::testing {
namespace {

using namespace std::chrono_literals;

constexpr size_t Stack = 256 * 1024;

// Polls `done` for up to five seconds.
template <typename Condition>
bool eventually(Condition done) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Runs `jobs` jobs at once, each waiting until all have started (a job queued behind a busy
// thread would never run), and waits up to ten seconds for them to end. Returns how many saw
// every other one start.
int RunAllAtOnce(HopWorkerPool& pool, int jobs) {
    struct Round {
        std::mutex lock;
        std::condition_variable changed;
        int started = 0;
        int ended = 0;
        int sawAll = 0;
    };
    // Shared with the jobs, so a job still running when the wait gives up touches nothing freed.
    auto round = std::make_shared<Round>();
    for (int i = 0; i < jobs; ++i) {
        pool.run([round, jobs] {
            std::unique_lock guard(round->lock);
            ++round->started;
            round->changed.notify_all();
            round->changed.wait_for(guard, 5s, [&] { return round->started == jobs; });
            if (round->started == jobs) ++round->sawAll;
            ++round->ended;
            round->changed.notify_all();
        });
    }
    std::unique_lock guard(round->lock);
    round->changed.wait_for(guard, 10s, [&] { return round->ended == jobs; });
    return round->sawAll;
}

TEST(HopWorkerPool, EveryJobRunsAtOnceEvenWhileAllOthersAreStillBusy) {
    auto pool = HopWorkerPool::create(Stack);
    constexpr int Jobs = 40;
    EXPECT_EQ(RunAllAtOnce(*pool, Jobs), Jobs);
    EXPECT_EQ(pool->threadCount(), static_cast<size_t>(Jobs));
    pool->retire();
    EXPECT_TRUE(eventually([&] { return pool->threadCount() == 0; }));
}

TEST(HopWorkerPool, AnEndedJobsThreadTakesTheNextAndLetsGoOfWhatTheJobHeld) {
    auto pool = HopWorkerPool::create(Stack);
    for (int round = 0; round < 20; ++round) {
        auto held = std::make_shared<int>(round);
        std::weak_ptr<int> watch = held;
        std::atomic<bool> ran = false;
        pool->run([held = std::move(held), &ran] { ran = *held >= 0; });
        ASSERT_TRUE(eventually([&] { return ran.load() && pool->idleCount() == 1; }));
        // An idle thread keeps nothing of the job it ran alive.
        EXPECT_TRUE(watch.expired());
    }
    EXPECT_EQ(pool->threadCount(), 1u);
    pool->retire();
    EXPECT_TRUE(eventually([&] { return pool->threadCount() == 0; }));
}

TEST(HopWorkerPool, AfterAWideRoundNarrowOnesKeepToOneWarmThreadAndTheRestLingerOut) {
    // A first round starts a worker per possible hop; the path then needs a few. Handing jobs
    // round all idle threads would keep every one alive (and cold in the cache) for ever.
    // A linger far beyond any pause a busy machine puts between two narrow jobs, so that the warm
    // thread never lingers out while the test thread waits for its turn.
    auto pool = HopWorkerPool::create(Stack, 1s);
    constexpr int Wide = 8;
    ASSERT_EQ(RunAllAtOnce(*pool, Wide), Wide);
    ASSERT_TRUE(eventually([&] { return pool->idleCount() == Wide; }));

    // Narrow rounds until the rest have lingered out; handed round, none ever would.
    std::set<std::thread::id> narrowThreads;
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (pool->threadCount() > 1 && std::chrono::steady_clock::now() < giveUp) {
        std::atomic<bool> ran = false;
        std::thread::id where;
        pool->run([&] {
            where = std::this_thread::get_id();
            ran = true;
        });
        ASSERT_TRUE(eventually([&] { return ran.load() && pool->idleCount() >= 1; }));
        narrowThreads.insert(where);
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(narrowThreads.size(), 1u);
    EXPECT_EQ(pool->threadCount(), 1u);
    pool->retire();
    EXPECT_TRUE(eventually([&] { return pool->threadCount() == 0; }));
}

TEST(HopWorkerPool, IdleThreadsEndAfterTheirLingerAndRetireEndsBusyOnesAfterTheirJob) {
    auto lingering = HopWorkerPool::create(Stack, 30ms);
    for (int i = 0; i < 3; ++i)
        lingering->run([] {});
    EXPECT_TRUE(eventually([&] { return lingering->threadCount() == 0; }));
    // A pool that has lost its threads still starts new ones.
    std::atomic<bool> ran = false;
    lingering->run([&] { ran = true; });
    EXPECT_TRUE(eventually([&] { return ran.load(); }));

    auto pool = HopWorkerPool::create(Stack);
    std::atomic<bool> release = false;
    std::atomic<bool> ended = false;
    pool->run([&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
        ended = true;
    });
    pool->run([] {});
    ASSERT_TRUE(eventually([&] { return pool->idleCount() == 1; }));
    pool->retire();
    EXPECT_TRUE(eventually([&] { return pool->threadCount() == 1; }));  // the idle one went
    EXPECT_FALSE(ended);
    release = true;
    EXPECT_TRUE(eventually([&] { return ended && pool->threadCount() == 0; }));
}

}  // namespace
}  // namespace hoplark::testing
