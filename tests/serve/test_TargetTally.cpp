// The served counters: whole-run totals beside the window's figures, one series per hop whose
// responder label follows the main responder, and path changes counted as that label moves.
#include <gtest/gtest.h>

#include <QStringList>

#include "serve/TargetTally.h"

namespace hoplark {
namespace {

THostInfo result(qint32 hop, qint32 roundTripUs) {
    THostInfo record(hop);
    record.AvgTime = roundTripUs < 0 ? LOST_SAMPLE : static_cast<qint16>(roundTripUs / 1000);
    record.Detail.roundTripUs = roundTripUs;
    return record;
}

// A one-hop table whose window holds these responders' answers (empty: lost), round by round.
TraceState stateAnsweredBy(const QStringList& responders) {
    TraceState state;
    state.TargetAddress = QStringLiteral("10.0.0.9");
    state.SamplesTaken = static_cast<qint32>(responders.size());
    state.Window = {0, state.SamplesTaken - 1};
    THostInfo& hop = state.HopList.append();
    for (qint32 round = 1; round <= state.SamplesTaken; ++round) {
        const QString& responder = responders[round - 1];
        SampleDetail detail;
        detail.round = round;
        detail.roundTripUs = responder.isEmpty() ? -1 : 2000;
        hop.AddSample(responder.isEmpty() ? LOST_SAMPLE : 2, state.Window, detail, responder);
    }
    return state;
}

TEST(TargetTally, CountsTheWholeRunAndLetsTheResponderLabelFollowTheMainResponder) {
    TargetTally tally(QStringLiteral("target.example"));
    for (qint32 round = 1; round <= 3; ++round)
        tally.roundStarted(round, 0);
    tally.probeMerged(result(1, 1500));
    tally.probeMerged(result(1, 150));
    tally.probeMerged(result(1, -1));

    TargetMetrics metrics = tally.metrics(stateAnsweredBy({"10.0.0.1", "10.0.0.1", ""}), 1);
    EXPECT_EQ(metrics.target, "target.example");
    EXPECT_EQ(metrics.address, "10.0.0.9");
    EXPECT_EQ(metrics.roundsTotal, 3u);
    ASSERT_EQ(metrics.hops.size(), 1u);
    const HopMetrics& hop = metrics.hops.front();
    EXPECT_EQ(hop.responder, "10.0.0.1");
    EXPECT_EQ(hop.probesSent, 3u);
    EXPECT_EQ(hop.probesLost, 1u);
    EXPECT_EQ(hop.rtt.count, 2u);
    EXPECT_DOUBLE_EQ(hop.rtt.sumSeconds, 0.00165);
    EXPECT_EQ(hop.rtt.buckets[1], 1u);  // 0.15 ms: up to 0.25 ms
    EXPECT_EQ(hop.rtt.buckets[4], 1u);  // 1.5 ms: up to 2.5 ms
    EXPECT_NEAR(*hop.lossRatio, 1.0 / 3, 1e-9);
    EXPECT_DOUBLE_EQ(*hop.rttAverageSeconds, 0.002);
    EXPECT_EQ(metrics.pathChangesTotal, 0u);

    // Another router takes over the hop: the label follows it, the counters carry on, and
    // the change is counted once.
    tally.probeMerged(result(1, 1500));
    metrics = tally.metrics(stateAnsweredBy({"10.0.0.2", "10.0.0.2", "10.0.0.1"}), 1);
    EXPECT_EQ(metrics.hops.front().responder, "10.0.0.2");
    EXPECT_EQ(metrics.hops.front().probesSent, 4u);
    EXPECT_EQ(metrics.pathChangesTotal, 1u);
    metrics = tally.metrics(stateAnsweredBy({"10.0.0.2", "10.0.0.1", "10.0.0.2"}), 1);
    EXPECT_EQ(metrics.pathChangesTotal, 1u);

    // A window without answers keeps the label and has no average.
    metrics = tally.metrics(stateAnsweredBy({"", ""}), 1);
    EXPECT_EQ(metrics.hops.front().responder, "10.0.0.2");
    EXPECT_FALSE(metrics.hops.front().rttAverageSeconds);
    EXPECT_EQ(metrics.pathChangesTotal, 1u);
}

}  // namespace
}  // namespace hoplark
