#pragma once

#include <QString>
#include <atomic>
#include <memory>

#include "probe/CancelSignal.h"
#include "probe/EchoService.h"
#include "probe/NameService.h"
#include "trace/HopWorkerPool.h"
#include "trace/ProbeLauncher.h"

namespace hoplark {

// Measures one hop once on a thread of its own (one of the pool's, for as long as it runs): waits
// its start delay, runs one echo with TTL = Hop, posts WM_HOPRESULT, optionally looks the
// responder's name up and posts WM_HOPNAME, and always ends with exactly one WM_QUERYDONE (after
// leaving the channel's worker list). Everything it posts carries the trace id of its request. It
// keeps the normal scheduling priority: the kernel stamps the echo at both ends, so a late wake-up
// costs no accuracy, and a probe spends nearly all its life asleep.
//
// The job on its thread keeps its own object, the echo facility and the name service alive
// until it ends, so nobody waits for it or frees it. A terminate request cuts the start delay and
// the echo short and skips what is left.
class TTraceThread : public ProbeWorkerHandle, public std::enable_shared_from_this<TTraceThread> {
public:
    TTraceThread(const HopProbeRequest& request, std::shared_ptr<WorkerChannel> channel,
                 std::shared_ptr<EchoService> echo, std::shared_ptr<NameService> names,
                 int timeoutMs);

    // Starts the worker on one of the pool's threads. Register it with the channel first.
    // Throws std::system_error when no thread can be had.
    void start(HopWorkerPool& pool);

    void requestTerminate() override;
    bool terminated() const { return terminate_.load(std::memory_order_acquire); }

    const QString Target;
    const qint32 Hop;
    const bool ResolveName;
    const qint32 StartDelay;
    const qint32 Round;

    // Room enough for the probe, Qt's event posting and a resolver lookup: the stack size of
    // the threads workers run on.
    static constexpr size_t WorkerStackBytes = 512 * 1024;

private:
    void Execute();
    // Probes and posts; returns the result instead when nothing is posted after it.
    std::unique_ptr<WorkerEvent> probeAndPost();
    void postFailure(const QString& text);

    const TraceId trace_;
    const int timeoutMs_;
    std::shared_ptr<WorkerChannel> channel_;
    std::shared_ptr<EchoService> echo_;
    std::shared_ptr<NameService> names_;
    std::atomic<bool> terminate_{false};
    CancelSignal cancel_;
};

}  // namespace hoplark
