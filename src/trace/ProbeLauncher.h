#pragma once

#include <QString>
#include <memory>

#include "trace/WorkerChannel.h"

namespace hoplark {

// One hop worker to start: probe `hop` of `target` once after `startDelayMs`.
struct HopProbeRequest {
    TraceId trace = 0;
    QString target;  // dotted IPv4 address
    qint32 hop = 1;
    bool resolveName = false;
    qint32 startDelayMs = 0;
    // The 1-based round this probe belongs to (SamplesTaken when it was launched).
    qint32 round = 0;
};

// Starts hop workers. The real one runs a TTraceThread per request; tests use a fake that
// delivers scripted results. A launched worker must:
//  - be registered with channel->addWorker() before it can end;
//  - post through the channel, tagged with request.trace: at most one WM_HOPRESULT, then at most
//    one WM_HOPNAME, and always exactly one WM_QUERYDONE at its end (after removeWorker());
//  - skip what is left after requestTerminate(), still ending with WM_QUERYDONE.
class ProbeLauncher {
public:
    virtual ~ProbeLauncher() = default;
    virtual void launch(const HopProbeRequest& request,
                        const std::shared_ptr<WorkerChannel>& channel) = 0;
    // How long a worker waits for its probe's answer before it reports the probe lost.
    virtual int probeTimeoutMs() const { return 9998; }
};

}  // namespace hoplark
