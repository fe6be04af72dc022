// Samples keep the place of the round they were sent in, whenever their result comes; a probe
// still out is pending, and one out far longer than its hop takes is overdue and counts as lost.
#include <gtest/gtest.h>

#include "support/SampleLists.h"
#include "trace/PathEvidence.h"
#include "trace/SessionFixture.h"
#include "trace/WindowStatistics.h"

namespace hoplark::testing {
namespace {

using S = SampleState;

class RoundOrderTest : public SessionTest {
protected:
    // Launches the next round at the fake clock's current time.
    void nextRound() { session.tmrTraceTimer(); }

    void post(int hop, int sample, int round) {
        const QString ip = hop == 3 ? TargetIp : routerIp(hop);
        launcher.postResult(trace(), hop, sample == LOST_SAMPLE ? QString() : ip, sample, round);
        deliver();
    }

    WindowStatistics statsOf(int hop) const {
        return ComputeWindowStatistics(hops().at(hop - 1), session.state().Window);
    }
};

TEST_F(RoundOrderTest, ALateLossFillsItsOwnRoundAndPendingRoundsAreNotCounted) {
    session.editSampleCountChange(QStringLiteral("2"));
    start(QStringLiteral("10.0.0.10"));
    // Round 1: hop 1 answers, the target answers at hop 3, hop 2's answer is still out.
    post(1, 4, 1);
    post(3, 20, 1);
    ASSERT_EQ(hops().count(), 3);
    EXPECT_EQ(statesOf(hops().at(1)), (std::vector<S>{S::Pending}));

    clock.now += 1000;
    nextRound();
    post(1, 5, 2);
    post(2, 9, 2);
    post(3, 21, 2);
    clock.now += 1000;
    nextRound();
    // Round 3 is out for every hop: neither answer nor loss.
    EXPECT_EQ(statesOf(hops().at(0)), (std::vector<S>{S::Answered, S::Answered, S::Pending}));
    EXPECT_EQ(statsOf(1).pending, 1);
    EXPECT_EQ(statsOf(1).sent, 1);  // window [1, 2]: round 2 in, round 3 pending

    // Hop 2's round-1 probe times out now, after later rounds' answers: it lands in round 1.
    post(2, LOST_SAMPLE, 1);
    EXPECT_EQ(msOf(hops().at(1))[0], LOST_SAMPLE);
    EXPECT_EQ(msOf(hops().at(1))[1], 9);
    EXPECT_EQ(hops().at(1).LostCount, 1);
    // The window of the last two rounds holds rounds 2 and 3 for every hop: no loss in it.
    EXPECT_EQ(session.state().Window.FirstSample, 1);
    EXPECT_EQ(statsOf(2).lost, 0);
    EXPECT_EQ(hops().at(1).CurTime, 9);
}

TEST_F(RoundOrderTest, AProbeOutLongerThanItsHopTakesIsOverdueUntilItsAnswerComes) {
    start(QStringLiteral("10.0.0.10"));
    post(1, 4, 1);
    post(2, 300, 1);  // a slow hop: 4 × 300 ms = 1.2 s of patience
    post(3, 20, 1);
    const qint64 round2 = clock.now + 1000;
    clock.now = round2;
    nextRound();

    // Hop 1 waits at least a second; hop 2's probe leaves 25 ms after hop 1's.
    clock.now = round2 + 999;
    session.CheckOverdue();
    EXPECT_EQ(statesOf(hops().at(0))[1], S::Pending);
    clock.now = round2 + 1000;
    session.CheckOverdue();
    EXPECT_EQ(statesOf(hops().at(0))[1], S::Overdue);
    EXPECT_EQ(statesOf(hops().at(1))[1], S::Pending);
    EXPECT_EQ(statesOf(hops().at(2))[1], S::Pending);  // sent 50 ms after hop 1's
    clock.now = round2 + 50 + 1000;
    session.CheckOverdue();
    EXPECT_EQ(statesOf(hops().at(2))[1], S::Overdue);

    // Overdue counts as lost in the window's figures at once, and shows as the current sample;
    // the Err count waits for the merged loss.
    EXPECT_EQ(statsOf(1).lost, 1);
    EXPECT_EQ(statsOf(1).sent, 2);
    EXPECT_EQ(hops().at(0).CurTime, LOST_SAMPLE);
    EXPECT_EQ(hops().at(0).LostCount, 0);
    PathEvidence evidence;
    evidence.refresh(session.state());
    ASSERT_TRUE(evidence.destinationLossPercent().has_value());
    EXPECT_DOUBLE_EQ(*evidence.destinationLossPercent(), 50.0);

    clock.now = round2 + 25 + 1199;
    session.CheckOverdue();
    EXPECT_EQ(statesOf(hops().at(1))[1], S::Pending);
    clock.now = round2 + 25 + 1200;
    session.CheckOverdue();
    EXPECT_EQ(statesOf(hops().at(1))[1], S::Overdue);

    // A late answer before the time-out is an answer after all; a loss merged at the time-out
    // settles it as lost and counts in Err.
    post(1, 7, 2);
    EXPECT_EQ(statesOf(hops().at(0))[1], S::Answered);
    EXPECT_EQ(statsOf(1).lost, 0);
    EXPECT_EQ(hops().at(0).CurTime, 7);
    post(3, LOST_SAMPLE, 2);
    EXPECT_EQ(statesOf(hops().at(2))[1], S::Lost);
    EXPECT_EQ(statsOf(3).lost, 1);
    EXPECT_EQ(hops().at(2).LostCount, 1);
    evidence.refresh(session.state());
    EXPECT_DOUBLE_EQ(*evidence.destinationLossPercent(), 50.0);
}

TEST_F(RoundOrderTest, AHopThatJoinsLateHasItsEarlierRoundsPendingOrEmpty) {
    start(QStringLiteral("10.0.0.10"));
    post(1, 4, 1);
    clock.now += 1000;
    nextRound();  // the table holds hop 1 only, so round 2 probes hop 1 only
    // Hop 4's round-1 answer comes now: hops 2 and 3 were probed in round 1 and wait for it,
    // no hop beyond 1 was probed in round 2.
    post(4, 8, 1);
    ASSERT_EQ(hops().count(), 4);
    EXPECT_EQ(statesOf(hops().at(0)), (std::vector<S>{S::Answered, S::Pending}));
    EXPECT_EQ(statesOf(hops().at(1)), (std::vector<S>{S::Pending}));
    EXPECT_EQ(statesOf(hops().at(3)), (std::vector<S>{S::Answered}));
    EXPECT_EQ(ComputeWindowStatistics(hops().at(3), session.state().Window).sent, 1);
}

TEST(OverdueRule, FourTimesTheSlowestAnswerWithinASecondAndTheTimeOut) {
    EXPECT_EQ(OverdueAfterMs(0, 9998), 1000);
    EXPECT_EQ(OverdueAfterMs(100, 9998), 1000);
    EXPECT_EQ(OverdueAfterMs(300000, 9998), 1200);
    EXPECT_EQ(OverdueAfterMs(5000000, 9998), 9998);
    EXPECT_EQ(OverdueAfterMs(300000, 500), 500);
}

TEST(HopRecord, StatisticsOverChangingRoundsEqualAFreshComputation) {
    // Rounds settle out of order; the cached totals must still equal a fresh record's.
    const SampleWindow all{0, 100};
    THostInfo grown(1);
    const auto store = [&](THostInfo& r, qint32 ms, qint32 round) {
        SampleDetail detail;
        detail.round = round;
        detail.roundTripUs = ms == LOST_SAMPLE ? -1 : ms * 1000 + 1;
        r.StoreSample(ms, detail, QString());
    };
    for (qint32 round = 1; round <= 6; ++round)
        grown.MarkPending(round);
    const std::vector<std::pair<qint32, qint32>> arrivals = {{10, 2}, {12, 3}, {LOST_SAMPLE, 1},
                                                             {30, 6}, {11, 4}, {40, 5}};
    THostInfo fresh(1);
    for (const auto& [ms, round] : arrivals) {
        store(grown, ms, round);
        grown.RecalcStats(all);
        store(fresh, ms, round);
    }
    THostInfo settled(1);
    for (const auto& [ms, round] : arrivals)
        store(settled, ms, round);
    settled.RecalcStats(all);
    EXPECT_EQ(grown.AvgTime, settled.AvgTime);
    EXPECT_EQ(grown.MaxTime, 40);
    EXPECT_EQ(grown.MinTime, 10);
    EXPECT_EQ(grown.CurTime, 30);  // round 6 is the last round
    EXPECT_DOUBLE_EQ(grown.AvgTimeUs, settled.AvgTimeUs);
    EXPECT_EQ(msOf(grown), (std::vector<qint32>{LOST_SAMPLE, 10, 12, 11, 40, 30}));
}

}  // namespace
}  // namespace hoplark::testing
