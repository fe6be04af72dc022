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
};

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
    session.miShowHistorySliderClick();
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
