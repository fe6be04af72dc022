#include "serve/TargetTally.h"

namespace hoplark {

TargetMetrics TargetTally::metrics(const TraceState& state, int shownHops) {
    evidence_.refresh(state);
    TargetMetrics result;
    result.target = target_;
    result.address = state.TargetAddress;
    result.pathHops = shownHops;
    result.roundsTotal = rounds_;
    if (const std::optional<double> loss = evidence_.destinationLossPercent())
        result.destinationLossRatio = *loss / 100.0;

    for (int index = 0; index < shownHops && index < state.HopList.count(); ++index) {
        const THostInfo& record = state.HopList.at(index);
        const HopEvidence* evidence = evidence_.hop(index);
        if (record.Unreachable || !evidence) continue;
        HopCounters& counters = hops_[record.Hop];
        HopMetrics hop;
        hop.hop = record.Hop;
        if (!evidence->responders.empty()) {
            hop.responder = evidence->responders.front().address;
            if (!counters.mainResponder.isEmpty() && counters.mainResponder != hop.responder)
                ++pathChanges_;
            counters.mainResponder = hop.responder;
        } else {
            // A window without answers keeps the last responder, so a lossy stretch does not
            // start a series of its own.
            hop.responder = counters.mainResponder;
        }
        hop.probesSent = counters.sent;
        hop.probesLost = counters.lost;
        hop.rtt = counters.rtt;
        const WindowStatistics& stats = evidence->stats;
        if (stats.meanUs) hop.rttAverageSeconds = *stats.meanUs / 1e6;
        if (stats.stdevUs) hop.rttStddevSeconds = *stats.stdevUs / 1e6;
        if (stats.lossPercent) hop.lossRatio = *stats.lossPercent / 100.0;
        hop.rateLimited = evidence->verdict == LossVerdict::RateLimited;
        result.hops.push_back(std::move(hop));
    }
    result.pathChangesTotal = pathChanges_;
    return result;
}

void TargetTally::traceStarted(const QString& typed, const QString& address,
                               const QString& hostName, qint64 startedUtcUs) {
    if (next_) next_->traceStarted(typed, address, hostName, startedUtcUs);
}

void TargetTally::targetNamed(const QString& hostName) {
    if (next_) next_->targetNamed(hostName);
}

void TargetTally::roundStarted(qint32 round, qint64 startedUtcUs) {
    ++rounds_;
    if (next_) next_->roundStarted(round, startedUtcUs);
}

void TargetTally::probeMerged(const THostInfo& result) {
    HopCounters& counters = hops_[result.Hop];
    ++counters.sent;
    if (result.AvgTime >= LOST_SAMPLE || result.AvgTime < 0) {
        ++counters.lost;
    } else {
        const double us =
            result.Detail.roundTripUs >= 0 ? result.Detail.roundTripUs : result.AvgTime * 1000.0;
        counters.rtt.observe(us / 1e6);
    }
    if (next_) next_->probeMerged(result);
}

void TargetTally::nameLearnt(qint32 hop, const QString& address, const QString& name) {
    if (next_) next_->nameLearnt(hop, address, name);
}

void TargetTally::roundCompleted() {
    if (next_) next_->roundCompleted();
}

void TargetTally::traceStopped() {
    if (next_) next_->traceStopped();
}

}  // namespace hoplark
