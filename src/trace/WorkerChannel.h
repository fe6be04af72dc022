#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <initializer_list>
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
//
// Messages wait in the channel's inbox, and the receiver's thread is woken once for all that
// arrive before it gets to them: it then hands each to the receiver's event() in the order they
// were posted, as the Qt events they are. Every message would otherwise wake the UI thread on its
// own, which cost more than the probe it reported. The receiver's handlers must not run a nested
// event loop (a modal box), or messages behind the one being handled wait until it returns.
class WorkerChannel : public std::enable_shared_from_this<WorkerChannel> {
public:
    // Made by std::make_shared only, so that a queued wake-up can tell the channel is gone.
    explicit WorkerChannel(QObject* receiver) : receiver_(receiver) {}

    // Posts the event to the receiver if it still exists (taking ownership either way).
    // Returns whether it was posted. Safe from any thread.
    bool post(WorkerEvent* event);
    // Posts the events in order with at most one wake-up of the receiver's thread.
    bool post(std::initializer_list<WorkerEvent*> events);

    // True while the receiver exists.
    bool receiverAlive() const;

    // When on, a post wakes the receiver only once no worker is left, and the receiver takes
    // what waits before each round itself (deliverPending()). For a receiver that shows nothing
    // while a round runs (the report): the results of a round then reach it with one wake-up
    // instead of one per hop, which cost it more than the probes. Off by default; set before
    // the first worker starts.
    void setWakeOnlyWhenIdle(bool on) { wakeOnlyWhenIdle_ = on; }
    bool wakesOnlyWhenIdle() const { return wakeOnlyWhenIdle_; }
    // Hands what waits in the inbox to the receiver now, oldest first: what a wake-up does.
    // Only on the receiver's thread.
    void deliverPending();

    // The receiver is going away: nothing is posted to it from now on.
    void detachReceiver();

    // The live workers ("ProbeThreads").
    void addWorker(const std::shared_ptr<ProbeWorkerHandle>& worker);
    void removeWorker(const ProbeWorkerHandle* worker);
    // Asks every live worker to terminate and forgets them all; waits for none.
    void terminateAll();
    size_t workerCount() const;

private:
    // Held while a wake-up is queued, so that detachReceiver() cannot complete meanwhile. Apart
    // from receiverLock_: the woken thread must not find the inbox locked by the poster still
    // queuing, or it sleeps again, and the poster's unlock wakes it a second time.
    mutable std::mutex wakeLock_;
    mutable std::mutex receiverLock_;
    QObject* receiver_;                               // written under both locks, read under either
    std::deque<std::unique_ptr<WorkerEvent>> inbox_;  // under receiverLock_
    bool wakePending_ = false;  // a wake-up is queued or the inbox is being handed over
    bool wakeOnlyWhenIdle_ = false;
    mutable std::mutex workersLock_;
    std::vector<std::shared_ptr<ProbeWorkerHandle>> workers_;
};

}  // namespace hoplark
