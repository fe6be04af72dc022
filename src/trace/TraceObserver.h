#pragma once

#include <QString>

#include "trace/HostInfo.h"

namespace hoplark {

// What a trace session tells whoever keeps a record of its trace (the recording), on the UI
// thread and in the order things happened. The trace layer only declares it, so it depends on
// no recorder.
class TraceObserver {
public:
    virtual ~TraceObserver() = default;

    // A new trace resolved its target: `typed` as the user gave it, the dotted address probed,
    // the host name (possibly empty), and when it began.
    virtual void traceStarted(const QString& typed, const QString& address, const QString& hostName,
                              qint64 startedUtcUs) = 0;
    // The reverse name of a target typed as an address arrived after the trace had started.
    virtual void targetNamed(const QString& hostName) = 0;
    // Round `round` (1-based) is being launched; everything before it belongs to earlier rounds.
    virtual void roundStarted(qint32 round, qint64 startedUtcUs) = 0;
    // A worker result of the current trace, before it is merged (also when it is discarded).
    virtual void probeMerged(const THostInfo& result) = 0;
    // A reverse name of the current trace, as it arrived (also when the table ignores it).
    virtual void nameLearnt(qint32 hop, const QString& address, const QString& name) = 0;
    // Every launched worker has reported: a good moment to write what came in.
    virtual void roundCompleted() = 0;
    // The trace stopped scheduling rounds; launched workers may still report.
    virtual void traceStopped() = 0;
};

}  // namespace hoplark
