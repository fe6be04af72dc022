#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace hoplark {

// The threads hop workers run on. Every worker still gets a thread of its own the moment it is
// launched (a worker never waits behind another), but a thread whose worker has ended waits for
// the next one instead of ending: a trace starts a worker for every hop in every round, and
// making and ending a thread for each cost more CPU than the probe itself. A thread left idle
// for `idleLinger` ends, so a stopped trace leaves none behind for long.
//
// The thread that went idle last takes the next worker. Its stack and its data are still in the
// cache, and only as many threads stay alive as run at once: handing work round a queue of all
// threads a first long round made would keep every one of them alive and cold.
//
// Threads are detached and keep the pool alive; nobody waits for them. retire() makes every
// idle thread end now and every busy one end after its worker.
class HopWorkerPool : public std::enable_shared_from_this<HopWorkerPool> {
public:
    using Job = std::function<void()>;

    static std::shared_ptr<HopWorkerPool> create(
        size_t stackBytes, std::chrono::milliseconds idleLinger = std::chrono::seconds(30));

    // Runs `job` on an idle thread, or on a new one when none is idle. Throws std::system_error
    // when no thread can be made.
    void run(Job job);
    void retire();

    // For tests: threads alive (busy or idle) and idle ones.
    size_t threadCount() const;
    size_t idleCount() const;

    HopWorkerPool(size_t stackBytes, std::chrono::milliseconds idleLinger);

private:
    // Where an idle thread waits for its next job.
    struct Seat {
        std::condition_variable wake;
        Job job;
    };

    void startThread(Job first);
    void serve(Job first);

    const size_t stackBytes_;
    const std::chrono::milliseconds idleLinger_;
    mutable std::mutex mutex_;
    std::vector<Seat*> idle_;  // the last to go idle at the back
    size_t threads_ = 0;
    bool retired_ = false;
};

}  // namespace hoplark
