#include "trace/HopWorkerPool.h"

#include <pthread.h>

#include <algorithm>
#include <system_error>
#include <utility>

namespace hoplark {

std::shared_ptr<HopWorkerPool> HopWorkerPool::create(size_t stackBytes,
                                                     std::chrono::milliseconds idleLinger) {
    return std::make_shared<HopWorkerPool>(stackBytes, idleLinger);
}

HopWorkerPool::HopWorkerPool(size_t stackBytes, std::chrono::milliseconds idleLinger)
    : stackBytes_(stackBytes), idleLinger_(idleLinger) {}

void HopWorkerPool::run(Job job) {
    std::unique_lock lock(mutex_);
    if (!idle_.empty()) {
        Seat* seat = idle_.back();
        idle_.pop_back();
        seat->job = std::move(job);
        // Under the lock: once it is released the thread may see its job, run it and be gone.
        seat->wake.notify_one();
        return;
    }
    ++threads_;
    lock.unlock();
    try {
        startThread(std::move(job));
    } catch (...) {
        lock.lock();
        --threads_;
        throw;
    }
}

void HopWorkerPool::retire() {
    const std::lock_guard lock(mutex_);
    retired_ = true;
    for (Seat* seat : idle_)
        seat->wake.notify_one();
}

size_t HopWorkerPool::threadCount() const {
    const std::lock_guard lock(mutex_);
    return threads_;
}

size_t HopWorkerPool::idleCount() const {
    const std::lock_guard lock(mutex_);
    return idle_.size();
}

void HopWorkerPool::startThread(Job first) {
    struct Start {
        std::shared_ptr<HopWorkerPool> pool;
        Job job;
    };
    auto* start = new Start{shared_from_this(), std::move(first)};
    // A small stack, not the default 8 MB: the threads of a long path all live at once.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes_);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int failure = pthread_create(
        &thread, &attributes,
        [](void* argument) -> void* {
            const std::unique_ptr<Start> owned(static_cast<Start*>(argument));
            owned->pool->serve(std::move(owned->job));
            return nullptr;
        },
        start);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete start;
        throw std::system_error(failure, std::generic_category(), "cannot start a hop worker");
    }
}

void HopWorkerPool::serve(Job first) {
    Seat seat;
    Job job = std::move(first);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (job) {
            lock.unlock();
            job();
            // The job's captures (the worker, its channel) go before the thread waits again.
            job = nullptr;
            lock.lock();
            continue;
        }
        if (retired_) break;
        idle_.push_back(&seat);
        seat.wake.wait_for(lock, idleLinger_, [&] { return seat.job || retired_; });
        if (seat.job) {
            // run() took the seat off the idle list when it handed the job over.
            job = std::exchange(seat.job, nullptr);
            continue;
        }
        idle_.erase(std::find(idle_.begin(), idle_.end(), &seat));
        break;
    }
    --threads_;
}

}  // namespace hoplark
