#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace hoplark {

// The threads hop workers run on. Every worker still gets a thread of its own the moment it is
// launched (a worker never waits behind another), but a thread whose worker has ended waits for
// the next one instead of ending: a trace starts a worker for every hop in every round, and
// making and ending a thread for each cost more CPU than the probe itself. A thread left idle
// for `idleLinger` ends, so a stopped trace leaves none behind for long.
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
    void startThread();
    void serve();

    const size_t stackBytes_;
    const std::chrono::milliseconds idleLinger_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    size_t threads_ = 0;
    size_t idle_ = 0;
    bool retired_ = false;
};

}  // namespace hoplark
