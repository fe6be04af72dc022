#include "trace/WorkerChannel.h"

#include <QCoreApplication>
#include <algorithm>

namespace hoplark {

bool WorkerChannel::post(WorkerEvent* event) {
    std::lock_guard lock(receiverLock_);
    if (receiver_ == nullptr) {
        delete event;
        return false;
    }
    // Posting under the lock keeps detachReceiver() from completing while a post is under way.
    QCoreApplication::postEvent(receiver_, event);
    return true;
}

bool WorkerChannel::receiverAlive() const {
    std::lock_guard lock(receiverLock_);
    return receiver_ != nullptr;
}

void WorkerChannel::detachReceiver() {
    std::lock_guard lock(receiverLock_);
    receiver_ = nullptr;
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
