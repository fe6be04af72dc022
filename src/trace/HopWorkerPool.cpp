#include "trace/HopWorkerPool.h"

#include <pthread.h>

#include <system_error>

namespace hoplark {

std::shared_ptr<HopWorkerPool> HopWorkerPool::create(size_t stackBytes,
                                                     std::chrono::milliseconds idleLinger) {
    return std::make_shared<HopWorkerPool>(stackBytes, idleLinger);
}

HopWorkerPool::HopWorkerPool(size_t stackBytes, std::chrono::milliseconds idleLinger)
    : stackBytes_(stackBytes), idleLinger_(idleLinger) {}

void HopWorkerPool::run(Job job) {
    std::unique_lock lock(mutex_);
    jobs_.push_back(std::move(job));
    // Idle threads not yet spoken for by an earlier job take it; otherwise a new thread does.
    if (idle_ >= jobs_.size()) {
        lock.unlock();
        wake_.notify_one();
        return;
    }
    ++threads_;
    lock.unlock();
    try {
        startThread();
    } catch (...) {
        lock.lock();
        --threads_;
        jobs_.pop_back();
        throw;
    }
}

void HopWorkerPool::retire() {
    {
        const std::lock_guard lock(mutex_);
        retired_ = true;
    }
    wake_.notify_all();
}

size_t HopWorkerPool::threadCount() const {
    const std::lock_guard lock(mutex_);
    return threads_;
}

size_t HopWorkerPool::idleCount() const {
    const std::lock_guard lock(mutex_);
    return idle_;
}

void HopWorkerPool::startThread() {
    auto* self = new std::shared_ptr<HopWorkerPool>(shared_from_this());
    // A small stack, not the default 8 MB: the threads of a long path all live at once.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes_);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int failure = pthread_create(
        &thread, &attributes,
        [](void* argument) -> void* {
            const std::unique_ptr<std::shared_ptr<HopWorkerPool>> owner(
                static_cast<std::shared_ptr<HopWorkerPool>*>(argument));
            (*owner)->serve();
            return nullptr;
        },
        self);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete self;
        throw std::system_error(failure, std::generic_category(), "cannot start a hop worker");
    }
}

void HopWorkerPool::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (jobs_.empty()) {
            if (retired_) break;
            ++idle_;
            const bool woken =
                wake_.wait_for(lock, idleLinger_, [this] { return !jobs_.empty() || retired_; });
            --idle_;
            if (!woken) break;
            continue;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        // The job's captures (the worker, its channel) go before the thread waits again.
        job = nullptr;
        lock.lock();
    }
    --threads_;
}

}  // namespace hoplark
