// A trace recorded as it runs and reopened gives back the table the session had.
#include "record/RecordingFixture.h"
#include "record/RecordingSchema.h"

namespace hoplark::testing {
namespace {

class RecordingRoundTrip : public RecordingTest {
protected:
    // Runs `rounds` rounds, each launched by the round timer, answered by `answer`.
    void runRounds(int rounds, const std::function<void(size_t from)>& answer) {
        for (int r = 0; r < rounds; ++r) {
            const size_t from = launcher.launched.size();
            if (r > 0) session.tmrTraceTimer();
            answer(r == 0 ? 0 : from);
        }
    }
};

TEST_F(RecordingRoundTrip, ReopenedTableEqualsTheLiveOneInEveryWindowMode) {
    struct Case {
        const char* sampleCount;
        int rounds;
    };
    for (const Case& c : {Case{"10", 14}, Case{"ALL", 6}, Case{"3", 5}}) {
        SCOPED_TRACE(c.sampleCount);
        recordingPath = folder.filePath(QString::fromLatin1(c.sampleCount) + ".hoplark");
        session.editSampleCountChange(QString::fromLatin1(c.sampleCount));
        launcher.launched.clear();
        start();
        int round = 0;
        runRounds(c.rounds, [&](size_t from) {
            ++round;
            answerRound(from, 4, round % 3 == 0 ? 2 : 0);
            if (round == 1) {
                launcher.postName(trace(), 1, routerIp(1), NO_NAME);
                launcher.postName(trace(), 3, routerIp(3), QStringLiteral("r3.example"));
            }
            if (round == 2)
                launcher.postName(trace(), 1, routerIp(1), QStringLiteral("r1.example"));
            deliver();
        });
        session.StopTrace();
        ASSERT_TRUE(failures.empty()) << failures.front().toStdString();
        const TraceState copy = reopened(QString::fromLatin1(c.sampleCount));
        expectSameTables(session.state(), copy);
        EXPECT_EQ(replaySession.shownHops(), session.shownHops());
        EXPECT_EQ(replaySession.state().Window.FirstSample, session.state().Window.FirstSample);
        EXPECT_EQ(replaySession.state().Window.LastSample, session.state().Window.LastSample);
    }
}

TEST_F(RecordingRoundTrip, DestinationFoundLowerLaterTrimsTheReopenedTableToo) {
    start();
    // Round 1: the target's answer from hop 6 comes first, then hop 4's.
    for (int hop : {1, 2, 3, 6, 5, 4, 7, 8})
        postDetailed(hop, hop >= 4 ? TargetIp : routerIp(hop), 10 + hop, 1);
    deliver();
    launcher.finishAll();
    deliver();
    runRounds(3, [&](size_t from) {
        if (from > 0) answerRound(from, 4);
    });
    ASSERT_EQ(session.state().DestinationHop, 4);
    expectSameTables(session.state(), reopened());
}

TEST_F(RecordingRoundTrip, PathThatNeverReachesTheTargetKeepsItsUnreachableMarker) {
    start();
    runRounds(3, [&](size_t from) {
        for (size_t i = from; i < launcher.launched.size(); ++i) {
            const auto& request = launcher.launched[i].request;
            if (request.hop <= 3)
                postDetailed(request.hop, routerIp(request.hop), request.hop, request.round);
            else
                postDetailed(request.hop, QString(), LOST_SAMPLE, request.round);
        }
        deliver();
        launcher.finishAll();
        deliver();
    });
    ASSERT_TRUE(session.state().HopList.at(3).Unreachable);
    const TraceState copy = reopened();
    expectSameTables(session.state(), copy);
    EXPECT_EQ(copy.HopList.at(3).DNSName, UNREACHABLE_NAME);
}

TEST_F(RecordingRoundTrip, HeaderSaysWhatWasTracedAndWhen) {
    start(QStringLiteral("target.example"));
    answerRound(0, 4);
    recorder->finish();
    const LoadedRecording loaded = RecordingReader::load(recordingPath);
    EXPECT_EQ(loaded.header.target, QStringLiteral("target.example"));
    EXPECT_EQ(loaded.header.address, TargetIp);
    EXPECT_EQ(loaded.header.hostName, QStringLiteral("target.example"));
    EXPECT_EQ(loaded.header.programVersion, QStringLiteral("test"));
    EXPECT_EQ(loaded.header.delayText, QStringLiteral("10 Seconds"));
    EXPECT_EQ(loaded.header.packetSize, 56);
    EXPECT_EQ(loaded.header.timeoutMs, 9998);
    EXPECT_GT(loaded.header.startedUtcUs, 0);
    EXPECT_LE(loaded.header.startedUtcUs, session.state().roundStartUtcUs(1));
    EXPECT_EQ(loaded.schemaVersion, RecordingSchema::CurrentVersion);
    EXPECT_EQ(loaded.probeCount, 35);
}

TEST_F(RecordingRoundTrip, AnAddressTargetsNameIsStoredWhenItArrives) {
    start(TargetIp);
    answerRound(0, 4);
    waitForTargetName(session);
    recorder->finish();
    const LoadedRecording loaded = RecordingReader::load(recordingPath);
    EXPECT_EQ(loaded.header.target, TargetIp);
    EXPECT_EQ(loaded.header.hostName, QStringLiteral("target.example"));
    EXPECT_EQ(loaded.probeCount, 35);
}

TEST_F(RecordingRoundTrip, EveryTraceGetsItsOwnFileAndReplayOffersNoRestart) {
    start();
    answerRound(0, 4);
    const QString first = recordingPath;
    recordingPath = folder.filePath(QStringLiteral("second.hoplark"));
    start();
    answerRound(launcher.launched.size() - 35, 2);
    recorder->finish();
    EXPECT_EQ(RecordingReader::load(first).state.DestinationHop, 4);
    EXPECT_EQ(RecordingReader::load(recordingPath).state.DestinationHop, 2);

    replaySession.LoadReplay(RecordingReader::load(first).state);
    EXPECT_TRUE(replaySession.isReplay());
    EXPECT_FALSE(replaySession.isTracing());
    EXPECT_FALSE(replaySession.restartAvailable());
    replaySession.RestartTrace();
    EXPECT_TRUE(replayLauncher.launched.empty());
}

TEST_F(RecordingRoundTrip, SliderScrubsTheReopenedTraceLikeTheLiveOne) {
    start();
    runRounds(25, [&](size_t from) { answerRound(from, 4); });
    reopened();
    for (int position : {8, 20, 1, 25}) {
        SCOPED_TRACE(position);
        session.tbTimeChange(position);
        replaySession.tbTimeChange(position);
        expectSameTables(session.state(), replaySession.state());
        EXPECT_EQ(replaySession.state().Window.FirstSample, session.state().Window.FirstSample);
        EXPECT_EQ(replaySession.state().Window.LastSample, session.state().Window.LastSample);
    }
}

}  // namespace
}  // namespace hoplark::testing
