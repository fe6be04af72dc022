#pragma once

#include <QString>
#include <map>

#include "export/MetricsSnapshot.h"
#include "trace/PathEvidence.h"
#include "trace/TraceObserver.h"
#include "trace/TraceState.h"

namespace hoplark {

// Counts what a served target's sessions measure over the whole run (every probe sent, lost and
// answered, rounds, path changes), across the daily restarts of its session, and passes every
// event on to `next` (the recording) unchanged. Lives on the session's thread.
class TargetTally : public TraceObserver {
public:
    explicit TargetTally(QString target) : target_(std::move(target)) {}

    // Who is told of every event after the tally; null for no one. Not owned.
    void setNext(TraceObserver* next) { next_ = next; }

    // The figures at this moment: the run's counters beside the window's statistics of
    // `state`. A hop's responder label is the address that answered it most in the window;
    // when that changes, the path-change counter counts it and the hop's counters carry on
    // under the new label.
    TargetMetrics metrics(const TraceState& state, int shownHops);

    // Counted: every round launched, every probe's result.
    void roundStarted(qint32 round, qint64 startedUtcUs) override;
    void probeMerged(const THostInfo& result) override;
    // Only passed on.
    void traceStarted(const QString& typed, const QString& address, const QString& hostName,
                      qint64 startedUtcUs) override;
    void targetNamed(const QString& hostName) override;
    void nameLearnt(qint32 hop, const QString& address, const QString& name) override;
    void traceStopped() override;
    void roundCompleted() override;

private:
    struct HopCounters {
        quint64 sent = 0;
        quint64 lost = 0;
        RttHistogram rtt;
        // The main responder last published; empty before any answer.
        QString mainResponder;
    };

    QString target_;
    TraceObserver* next_ = nullptr;
    std::map<qint32, HopCounters> hops_;
    quint64 rounds_ = 0;
    quint64 pathChanges_ = 0;
    PathEvidence evidence_;
};

}  // namespace hoplark
