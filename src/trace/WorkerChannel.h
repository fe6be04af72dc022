#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "trace/WorkerEvent.h"

namespace hoplark {

// A running hop worker as the session sees it: it can only be asked to stop.
class ProbeWorkerHandle {
public:
    virtual ~ProbeWorkerHandle() = default;
    // Asks the worker to skip what is left of its work. Safe from any thread; never blocks.
    virtual void requestTerminate() = 0;
};

// What the workers share with the UI thread: the way to the receiver (cleared when the receiver
// goes away) and the list of live workers, under their own locks. Workers hold it through a
// shared_ptr, so a worker that outlives the receiver meets a cleared channel, never freed memory.
class WorkerChannel {
public:
    explicit WorkerChannel(QObject* receiver) : receiver_(receiver) {}

    // Posts the event to the receiver if it still exists (taking ownership either way).
    // Returns whether it was posted. Safe from any thread.
    bool post(WorkerEvent* event);

    // True while the receiver exists.
    bool receiverAlive() const;

    // The receiver is going away: nothing is posted to it from now on.
    void detachReceiver();

    // The live workers ("ProbeThreads").
    void addWorker(const std::shared_ptr<ProbeWorkerHandle>& worker);
    void removeWorker(const ProbeWorkerHandle* worker);
    // Asks every live worker to terminate and forgets them all; waits for none.
    void terminateAll();
    size_t workerCount() const;

private:
    mutable std::mutex receiverLock_;
    QObject* receiver_;
    mutable std::mutex workersLock_;
    std::vector<std::shared_ptr<ProbeWorkerHandle>> workers_;
};

}  // namespace hoplark
