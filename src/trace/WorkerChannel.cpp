#include "trace/WorkerChannel.h"

#include <QCoreApplication>
#include <algorithm>

namespace hoplark {

bool WorkerChannel::post(WorkerEvent* event) {
    return post({event});
}

bool WorkerChannel::post(std::initializer_list<WorkerEvent*> events) {
    {
        std::lock_guard lock(receiverLock_);
        if (receiver_ == nullptr) {
            for (WorkerEvent* event : events)
                delete event;
            return false;
        }
        for (WorkerEvent* event : events)
            inbox_.emplace_back(event);
        if (wakePending_) return true;
        if (wakeOnlyWhenIdle_) {
            // A worker leaves the list before its last post, so the last of them wakes the
            // receiver for everything.
            std::lock_guard workers(workersLock_);
            if (!workers_.empty()) return true;
        }
        wakePending_ = true;
    }
    // A wake-up that finds the channel or the receiver gone does nothing; a receiver detached
    // before this point took the inbox with it.
    std::lock_guard waking(wakeLock_);
    if (receiver_ != nullptr) {
        QMetaObject::invokeMethod(
            receiver_,
            [weak = weak_from_this()] {
                if (const auto channel = weak.lock()) channel->deliverPending();
            },
            Qt::QueuedConnection);
    }
    return true;
}

void WorkerChannel::deliverPending() {
    for (;;) {
        std::unique_ptr<WorkerEvent> next;
        QObject* receiver = nullptr;
        {
            std::lock_guard lock(receiverLock_);
            if (receiver_ == nullptr || inbox_.empty()) {
                wakePending_ = false;
                return;
            }
            next = std::move(inbox_.front());
            inbox_.pop_front();
            receiver = receiver_;
        }
        // Outside the lock: a handler may post (the session does), or detach the receiver.
        QCoreApplication::sendEvent(receiver, next.get());
    }
}

bool WorkerChannel::receiverAlive() const {
    std::lock_guard lock(receiverLock_);
    return receiver_ != nullptr;
}

void WorkerChannel::detachReceiver() {
    std::deque<std::unique_ptr<WorkerEvent>> dropped;
    std::scoped_lock lock(wakeLock_, receiverLock_);
    receiver_ = nullptr;
    dropped.swap(inbox_);
}

void WorkerChannel::addWorker(const std::shared_ptr<ProbeWorkerHandle>& worker) {
    std::lock_guard lock(workersLock_);
    workers_.push_back(worker);
}

void WorkerChannel::removeWorker(const ProbeWorkerHandle* worker) {
    std::lock_guard lock(workersLock_);
    auto it = std::find_if(workers_.begin(), workers_.end(),
                           [worker](const auto& entry) { return entry.get() == worker; });
    if (it != workers_.end()) workers_.erase(it);
}

void WorkerChannel::terminateAll() {
    std::lock_guard lock(workersLock_);
    for (const auto& worker : workers_)
        worker->requestTerminate();
    workers_.clear();
}

size_t WorkerChannel::workerCount() const {
    std::lock_guard lock(workersLock_);
    return workers_.size();
}

}  // namespace hoplark
