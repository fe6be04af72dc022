// The window's texts and row count, derived from what a trace session reports.
#include <QStringList>

#include "trace/SessionFixture.h"
#include "view/TraceViewModel.h"

namespace hoplark::testing {
namespace {

class ViewModelTest : public SessionTest {
protected:
    ViewModelTest() {
        QObject::connect(&model, &TraceViewModel::queryingTextChanged, &model,
                         [this](const QString& text) { queryingTexts << text; });
        QObject::connect(&model, &TraceViewModel::statusPanelsChanged, &model,
                         [this](const QString& count, const QString& displayed) {
                             panels << count + QStringLiteral(" | ") + displayed;
                         });
        QObject::connect(&model, &TraceViewModel::rowCountChanged, &model,
                         [this](int rows) { rowCounts.push_back(rows); });
        QObject::connect(&model, &TraceViewModel::historySliderPanelChanged, &model,
                         [this](bool checked, bool visible) {
                             sliderPanels.push_back({checked, visible});
                         });
    }

    // Takes `rounds` rounds, one at a time, as the round timer would.
    void takeRounds(int rounds) {
        for (int s = 0; s <= rounds; ++s)
            session.SetSamplesTaken(s);
    }

    TraceViewModel model{session};
    QStringList queryingTexts;
    QStringList panels;
    std::vector<int> rowCounts;
    std::vector<std::pair<bool, bool>> sliderPanels;
};

struct SliderPanelCase {
    const char* name;
    qint32 rounds;
    QString count;
    bool checked;
    bool panelVisible;
};

TEST_F(ViewModelTest, SliderPanelShowsWhenCheckedWithACountAndRounds) {
    const SliderPanelCase cases[] = {
        {"live", 25, "10", true, true},
        {"fewer rounds than the count", 5, "10", true, true},
        {"all rounds", 25, "ALL", true, false},
        {"non-integer count means all", 25, "abc", true, false},
        {"menu unchecked hides the slider", 25, "10", false, false},
        {"no rounds yet", 0, "10", true, false},
        {"negative count is still a count", 25, "-3", true, true},
    };
    for (const SliderPanelCase& c : cases) {
        TraceSession fresh(launcher, names, clock);
        TraceViewModel view(fresh);
        fresh.editSampleCountChange(c.count);
        if (c.checked) view.miShowHistorySliderClick();
        for (qint32 s = 0; s <= c.rounds; ++s)
            fresh.SetSamplesTaken(s);
        EXPECT_EQ(view.historySliderChecked(), c.checked) << c.name;
        EXPECT_EQ(view.historySliderPanelVisible(), c.panelVisible) << c.name;
    }
}

TEST_F(ViewModelTest, SliderMenuTogglesItsCheckMarkEvenBeforeAnyRound) {
    model.miShowHistorySliderClick();
    EXPECT_TRUE(model.historySliderChecked());
    EXPECT_FALSE(model.historySliderPanelVisible());
    model.miShowHistorySliderClick();
    EXPECT_FALSE(model.historySliderChecked());
    EXPECT_EQ(sliderPanels, (std::vector<std::pair<bool, bool>>{{true, false}, {false, false}}));
}

TEST_F(ViewModelTest, SliderPanelFollowsTheRoundsAndTheCount) {
    session.editSampleCountChange(QStringLiteral("10"));
    model.miShowHistorySliderClick();
    takeRounds(3);
    EXPECT_TRUE(model.historySliderPanelVisible());
    // Hiding the panel leaves the shown rounds where they are.
    session.tbTimeChange(2);
    model.miShowHistorySliderClick();
    EXPECT_FALSE(model.historySliderPanelVisible());
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 2 to 3"));
    model.miShowHistorySliderClick();
    EXPECT_TRUE(model.historySliderPanelVisible());
    // All rounds leave nothing to move; a count brings the panel back.
    session.editSampleCountChange(QStringLiteral("0"));
    EXPECT_FALSE(model.historySliderPanelVisible());
    session.editSampleCountChange(QStringLiteral("4"));
    EXPECT_TRUE(model.historySliderPanelVisible());
    // A new trace has no round to move to until its first.
    session.StartTrace(QString());
    EXPECT_FALSE(model.historySliderPanelVisible());
    EXPECT_TRUE(model.historySliderChecked());
}

TEST_F(ViewModelTest, StartsEmptyWithTheHeaderRowAlone) {
    EXPECT_EQ(model.queryingText(), QString());
    EXPECT_EQ(model.traceCountText(), QString());
    EXPECT_EQ(model.displayedSamplesText(), QString());
    EXPECT_EQ(model.rowCount(), 1);
}

TEST_F(ViewModelTest, LiveWindowShowsTheNewestRoundsOfTheCount) {
    session.editSampleCountChange(QStringLiteral("10"));
    takeRounds(25);
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 25"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 16 to 25"));
    EXPECT_EQ(panels.back(), QStringLiteral("Trace Count: 25 | Displayed Samples: 16 to 25"));
}

TEST_F(ViewModelTest, FewerRoundsThanTheCountShowsThemAll) {
    session.editSampleCountChange(QStringLiteral("10"));
    takeRounds(5);
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 5"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 1 to 5"));
}

TEST_F(ViewModelTest, AllRoundsAndANonIntegerCountShowEveryRound) {
    for (const QString& count : {QStringLiteral("0"), QStringLiteral("abc")}) {
        SCOPED_TRACE(count.toStdString());
        session.editSampleCountChange(count);
        takeRounds(25);
        EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 1 to 25"));
    }
}

TEST_F(ViewModelTest, HistorySliderMovesTheDisplayedRoundsWithoutChangingTheCount) {
    session.editSampleCountChange(QStringLiteral("10"));
    model.miShowHistorySliderClick();
    takeRounds(25);
    session.tbTimeChange(8);
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 25"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 8 to 17"));
    // A round taken in history mode counts on while the shown rounds stay put.
    session.SetSamplesTaken(26);
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 26"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 8 to 17"));
    session.tbTimeChange(20);
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 20 to 26"));
}

TEST_F(ViewModelTest, ANewCountAloneChangesTheDisplayedRounds) {
    session.editSampleCountChange(QStringLiteral("10"));
    takeRounds(25);
    panels.clear();
    session.editSampleCountChange(QStringLiteral("5"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 21 to 25"));
    EXPECT_EQ(panels, QStringList{QStringLiteral("Trace Count: 25 | Displayed Samples: 21 to 25")});
}

TEST_F(ViewModelTest, ATraceStartedAnewCountsFromZeroWithNoDisplayedRounds) {
    start();
    ASSERT_EQ(session.state().SamplesTaken, 1);
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 1"));
    EXPECT_EQ(model.displayedSamplesText(), QStringLiteral("Displayed Samples: 1 to 1"));
    session.StopTrace();
    session.StartTrace(QString());  // refused at once: the table stays empty
    EXPECT_EQ(model.traceCountText(), QStringLiteral("Trace Count: 0"));
    EXPECT_EQ(model.displayedSamplesText(), QString());
}

TEST_F(ViewModelTest, UnchangedTextsAreNotSentAgain) {
    session.editSampleCountChange(QStringLiteral("10"));
    takeRounds(3);
    const qsizetype sent = panels.size();
    session.SetSamplesTaken(3);
    session.editSampleCountChange(QStringLiteral("10"));
    EXPECT_EQ(panels.size(), sent);
}

TEST_F(ViewModelTest, QueryingTextFollowsTheLookupThenTheWorkersOut) {
    session.StartTrace(QStringLiteral("target.example"));
    EXPECT_EQ(model.queryingText(), QStringLiteral("Resolving..."));
    waitForStart(session);
    ASSERT_TRUE(session.isTracing());
    EXPECT_EQ(model.queryingText(), QStringLiteral("Querying"));

    // All but one worker in: still querying.
    for (size_t i = 0; i + 1 < launcher.launched.size(); ++i)
        launcher.finish(i);
    deliver();
    EXPECT_EQ(model.queryingText(), QStringLiteral("Querying"));
    launcher.finishAll();
    deliver();
    EXPECT_EQ(model.queryingText(), QString());
    // The lookup's answer clears the panel before the first round raises it again.
    EXPECT_EQ(queryingTexts, (QStringList{QStringLiteral("Resolving..."), QString(),
                                          QStringLiteral("Querying"), QString()}));
}

TEST_F(ViewModelTest, WorkersOfAStoppedTraceKeepQueryingUntilTheyAreIn) {
    start();
    session.StopTrace();
    EXPECT_EQ(model.queryingText(), QStringLiteral("Querying"));
    launcher.finishAll();
    deliver();
    EXPECT_EQ(model.queryingText(), QString());
}

TEST_F(ViewModelTest, CancelledOrFailedStartsClearTheResolvingText) {
    session.StartTrace(QStringLiteral("target.example"));
    ASSERT_TRUE(session.isStarting());
    session.StopTrace();
    EXPECT_EQ(model.queryingText(), QString());

    session.StartTrace(QStringLiteral("nowhere.example"));
    waitForStart(session);
    EXPECT_FALSE(session.isTracing());
    EXPECT_EQ(model.queryingText(), QString());
}

TEST_F(ViewModelTest, ANewStartDropsTheOldTracesWorkersFromTheQueryingText) {
    start();
    ASSERT_EQ(model.queryingText(), QStringLiteral("Querying"));
    session.StartTrace(QString());  // refused: nothing of the old trace is awaited any more
    EXPECT_EQ(model.queryingText(), QString());
}

TEST_F(ViewModelTest, BusyAnimationShowsWhileTracingAndPlaysWhileAnythingIsOut) {
    std::vector<std::pair<bool, bool>> animation;
    QObject::connect(&model, &TraceViewModel::busyAnimationChanged, &model,
                     [&animation](bool visible, bool playing) {
                         animation.push_back({visible, playing});
                     });
    session.StartTrace(QStringLiteral("target.example"));
    EXPECT_TRUE(model.busyAnimationVisible());
    EXPECT_TRUE(model.busyAnimationPlaying());  // the lookup is out
    waitForStart(session);
    ASSERT_TRUE(session.isTracing());
    EXPECT_TRUE(model.busyAnimationPlaying());

    launcher.finishAll();
    deliver();
    EXPECT_TRUE(model.busyAnimationVisible());
    EXPECT_FALSE(model.busyAnimationPlaying());
    const size_t firstRound = launcher.launched.size();
    session.tmrTraceTimer();
    EXPECT_TRUE(model.busyAnimationPlaying());

    // A stopped trace's workers still out do not keep it showing or bring it back.
    session.StopTrace();
    EXPECT_FALSE(model.busyAnimationVisible());
    EXPECT_FALSE(model.busyAnimationPlaying());
    for (size_t i = firstRound; i < launcher.launched.size(); ++i)
        launcher.finish(i);
    deliver();
    EXPECT_FALSE(model.busyAnimationVisible());

    session.RestartTrace();
    EXPECT_TRUE(model.busyAnimationVisible());
    EXPECT_TRUE(model.busyAnimationPlaying());
    EXPECT_EQ(animation.front(), std::make_pair(true, true));
}

TEST_F(ViewModelTest, BusyAnimationHidesWhenAStartFailsOrIsCancelled) {
    session.StartTrace(QStringLiteral("target.example"));
    ASSERT_TRUE(model.busyAnimationVisible());
    session.StopTrace();
    EXPECT_FALSE(model.busyAnimationVisible());

    session.StartTrace(QStringLiteral("nowhere.example"));
    waitForStart(session);
    EXPECT_FALSE(model.busyAnimationVisible());
    EXPECT_FALSE(model.busyAnimationPlaying());

    session.StartTrace(QString());
    EXPECT_FALSE(model.busyAnimationVisible());
}

TEST_F(ViewModelTest, LoadingAStoredTraceHidesTheBusyAnimation) {
    start();
    ASSERT_TRUE(model.busyAnimationVisible());
    const TraceState shown = session.state();
    session.LoadReplay(shown);
    EXPECT_FALSE(model.busyAnimationVisible());
    EXPECT_FALSE(model.busyAnimationPlaying());
}

TEST_F(ViewModelTest, RowCountIsTheShownHopsAndTheHeader) {
    start();
    answerRequests(0, 10);
    EXPECT_EQ(session.shownHops(), 10);
    EXPECT_EQ(model.rowCount(), 11);
    ASSERT_FALSE(rowCounts.empty());
    EXPECT_EQ(rowCounts.back(), 11);

    session.StopTrace();
    session.StartTrace(QStringLiteral("target.example"));
    EXPECT_EQ(model.rowCount(), 1);
}

TEST_F(ViewModelTest, LoadingAStoredTraceOfAsManyRowsStillReportsThem) {
    start();
    answerRequests(0, 10);
    session.StopTrace();
    const TraceState stored = session.state();
    rowCounts.clear();
    session.LoadReplay(stored);
    EXPECT_EQ(model.rowCount(), 11);
    EXPECT_FALSE(rowCounts.empty());
}

}  // namespace
}  // namespace hoplark::testing
