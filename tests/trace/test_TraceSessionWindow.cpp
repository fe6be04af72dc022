// The statistics window and history slider of the trace session: all, live and history modes.
#include "trace/SessionFixture.h"

namespace hoplark::testing {
namespace {

struct WindowCase {
    const char* name;
    qint32 rounds;
    QString count;
    qint32 sliderMovedTo;  // 0: left at its right end
    qint32 first;
    qint32 last;
};

TEST_F(SessionTest, SampleWindowFollowsCountAndSlider) {
    const WindowCase cases[] = {
        {"live", 25, "10", 0, 15, 24},
        {"fewer rounds than the count", 5, "10", 0, 0, 4},
        {"all rounds", 25, "ALL", 0, 0, 24},
        {"non-integer count means all", 25, "abc", 0, 0, 24},
        {"history at 8", 25, "10", 8, 7, 16},
        {"history at 20", 25, "10", 20, 19, 24},
        {"one step left of the end", 25, "10", 24, 23, 24},
        {"no rounds yet", 0, "10", 0, 0, -1},
        {"negative count is an empty window", 25, "-3", 0, 28, 24},
    };
    for (const WindowCase& c : cases) {
        TraceSession fresh(launcher, names, clock);
        fresh.editSampleCountChange(c.count);
        for (qint32 s = 0; s <= c.rounds; ++s)
            fresh.SetSamplesTaken(s);
        if (c.sliderMovedTo != 0) fresh.tbTimeChange(c.sliderMovedTo);

        const SampleWindow& window = fresh.state().Window;
        EXPECT_EQ(window.FirstSample, c.first) << c.name;
        EXPECT_EQ(window.LastSample, c.last) << c.name;
        EXPECT_EQ(fresh.state().SamplesTaken, c.rounds) << c.name;
    }
}

TEST_F(SessionTest, HistoryModeStaysPutWhileRoundsGoOn) {
    session.editSampleCountChange("10");
    for (qint32 s = 0; s <= 25; ++s)
        session.SetSamplesTaken(s);
    session.tbTimeChange(8);
    session.SetSamplesTaken(26);
    EXPECT_EQ(session.historySlider(), (HistorySliderState{8, 26}));
    EXPECT_EQ(session.state().Window.FirstSample, 7);
    EXPECT_EQ(session.state().Window.LastSample, 16);

    // A new count moves only the window's end.
    session.editSampleCountChange("5");
    EXPECT_EQ(session.state().Window.FirstSample, 7);
    EXPECT_EQ(session.state().Window.LastSample, 11);

    // Back at the right end the window follows the newest rounds again.
    session.tbTimeChange(26);
    session.SetSamplesTaken(27);
    EXPECT_EQ(session.historySlider().position, 27);
    EXPECT_EQ(session.state().Window.FirstSample, 22);

    // "ALL" keeps the slider's maximum.
    EXPECT_EQ(session.editSampleCountChange("0"), "ALL");
    session.SetSamplesTaken(28);
    EXPECT_EQ(session.historySlider().maximum, 27);
    EXPECT_EQ(session.state().Window.FirstSample, 0);
    EXPECT_EQ(session.state().Window.LastSample, 27);
}

TEST_F(SessionTest, MovingTheWindowStartRecomputesEveryHopAndTheScale) {
    session.editSampleCountChange("10");
    start();
    for (int round = 1; round <= 25; ++round) {
        launcher.postResult(trace(), 1, routerIp(1), round * 10);
        launcher.postResult(trace(), 2, routerIp(2), round * 20);
        deliver();
        if (round < 25) session.tmrTraceTimer();
    }
    EXPECT_EQ(hops().at(0).MinTime, 160);
    EXPECT_EQ(hops().at(0).MaxTime, 250);

    session.tbTimeChange(8);
    EXPECT_EQ(hops().at(0).MinTime, 80);
    EXPECT_EQ(hops().at(0).MaxTime, 170);
    EXPECT_EQ(hops().at(1).AvgTime, 250);
    EXPECT_EQ(session.state().GraphScale, 340);

    session.editSampleCountChange("-3");
    session.tbTimeChange(25);
    EXPECT_EQ(hops().at(0).MaxTime, 0);
    EXPECT_EQ(hops().at(0).AvgTime, 0);
    EXPECT_EQ(session.state().GraphScale, 1);
}

TEST_F(SessionTest, EarlyScaleRaiseOnlyWhileTheWindowEndsAtTheNewestRound) {
    session.editSampleCountChange("10");
    start();
    launcher.postResult(trace(), 1, routerIp(1), 300);
    launcher.postResult(trace(), 2, routerIp(2), LOST_SAMPLE);
    deliver();
    EXPECT_EQ(session.state().GraphScale, 300);

    for (int round = 2; round <= 20; ++round)
        session.tmrTraceTimer();
    session.tbTimeChange(2);  // history: the window ends before the newest round
    const qint32 before = session.state().GraphScale;
    launcher.postResult(trace(), 1, routerIp(1), 900);
    deliver();
    EXPECT_EQ(session.state().GraphScale, before);
}

}  // namespace
}  // namespace hoplark::testing
