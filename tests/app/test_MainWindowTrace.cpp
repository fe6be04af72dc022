// The main window driving a trace: typed target, merged results, stop and restart, round
// limit, errors, the destination history and the history slider, with scripted workers.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/WindowFakes.h"
#include "support/Addresses.h"
#include "support/QtPrinters.h"
#include "support/TempSettings.h"

namespace hoplark {
namespace {

using testing::FakeLauncher;

class WindowTraceTest : public ::testing::Test {
protected:
    WindowTraceTest() : form(settings.path(), fakes.services()) {
        fakes.names->reverse[Ip("127.0.0.3")] = "target.hoplark.test";
    }

    FakeLauncher& launcher() { return *fakes.launcher; }
    TraceId trace() const { return form.session().currentTrace(); }
    void deliver() { QCoreApplication::sendPostedEvents(); }

    void typeAndPressEnter(const QString& target) {
        form.editDestination->clear();
        QTest::keyClicks(form.editDestination, target);
        QTest::keyClick(form.editDestination, Qt::Key_Return);
        waitForStart();
    }
    // The target lookups run on their own thread; their answer goes on with the start.
    void waitForStart() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !form.session().isStarting(); }, 10000));
    }

    QStringList history() const {
        QStringList items;
        for (int i = 0; i < form.lbHistory->count(); ++i)
            items << form.lbHistory->item(i)->text();
        return items;
    }
    void setHistory(const QStringList& items) {
        form.lbHistory->clear();
        form.lbHistory->addItems(items);
    }

    // The Trace button's width while the animation shows, and while it does not.
    int narrowButtonWidth() const { return form.Animate->x() - 2 * form.btnTrace->x(); }
    int wideButtonWidth() const {
        return form.Animate->x() + form.Animate->width() - form.btnTrace->x();
    }

    void expectStopped() {
        EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Trace"));
        EXPECT_EQ(form.btnTrace->width(), wideButtonWidth());
        EXPECT_TRUE(form.Animate->isHidden());
        EXPECT_FALSE(form.Animate->isPlaying());
        EXPECT_TRUE(form.editDestination->isEnabled());
        EXPECT_TRUE(form.lbHistory->isEnabled());
    }

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form;
    const testing::RecordingMessageBoxes& boxes = *fakes.boxes;
};

TEST_F(WindowTraceTest, EnterStartsATraceAndResultsFillTheGrid) {
    setHistory({"b", "127.0.0.3 ", "x"});
    typeAndPressEnter(QStringLiteral("127.0.0.3"));

    EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Stop"));
    EXPECT_EQ(form.btnTrace->width(), narrowButtonWidth());
    EXPECT_FALSE(form.Animate->isHidden());
    EXPECT_TRUE(form.Animate->isPlaying());
    EXPECT_FALSE(form.editDestination->isEnabled());
    EXPECT_FALSE(form.lbHistory->isEnabled());
    EXPECT_EQ(history(), QStringList({"127.0.0.3", "b", "127.0.0.3 ", "x"}));
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("127.0.0.3"));
    EXPECT_FALSE(form.lblNormal->isHidden());
    EXPECT_EQ(launcher().launched.size(), 35u);
    // The address was probed at once; its reverse name follows into the header.
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form.session().isNamingTarget(); }, 10000));
    EXPECT_EQ(form.lblHostName->text(), QStringLiteral("target.hoplark.test"));
    EXPECT_EQ(form.StatusPanel0->text(), QStringLiteral("Querying"));
    EXPECT_EQ(form.StatusPanel1->text(), QStringLiteral("Trace Count: 1"));
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 1 to 1"));
    EXPECT_EQ(form.btnTracePopupMenu(), nullptr);

    // Results arrive out of order; the grid grows with the last hop that answered and is cut at
    // the target.
    launcher().postResult(trace(), 2, QStringLiteral("127.0.0.2"), 20);
    deliver();
    EXPECT_EQ(form.drgrTrace->rowCount(), 3);
    launcher().postResult(trace(), 5, QStringLiteral("127.0.0.3"), 40);
    launcher().postResult(trace(), 3, QStringLiteral("127.0.0.3"), 30);
    launcher().postResult(trace(), 1, QStringLiteral("127.0.0.1"), 10);
    launcher().postName(trace(), 2, QStringLiteral("127.0.0.2"), QStringLiteral("r2"));
    deliver();
    EXPECT_EQ(form.traceState().DestinationHop, 3);
    EXPECT_EQ(form.drgrTrace->rowCount(), 4);
    EXPECT_EQ(form.traceState().HopList.at(1).DNSName, QStringLiteral("r2"));

    launcher().finishAll();
    deliver();
    EXPECT_EQ(form.StatusPanel0->text(), QString());
    EXPECT_FALSE(form.Animate->isPlaying());
    EXPECT_FALSE(form.Animate->isHidden());  // still tracing
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTraceTest, StopOffersRestartUntilTheDestinationIsEdited) {
    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    launcher().postResult(trace(), 1, QStringLiteral("127.0.0.3"), 5);
    deliver();

    form.btnTrace->click();
    expectStopped();
    EXPECT_EQ(form.btnTracePopupMenu(), form.pmenuRestart);
    EXPECT_FALSE(form.session().roundTimerActive());

    const size_t before = launcher().launched.size();
    form.RestartTrace1Click();
    EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Stop"));
    EXPECT_EQ(form.btnTrace->width(), narrowButtonWidth());
    EXPECT_EQ(form.btnTracePopupMenu(), nullptr);
    EXPECT_EQ(launcher().hopsFrom(before), std::vector<int>({1}));
    EXPECT_EQ(form.StatusPanel1->text(), QStringLiteral("Trace Count: 2"));
    // A restart does not touch the history.
    EXPECT_EQ(history(), QStringList({"127.0.0.3"}));

    form.btnTraceClick();
    EXPECT_EQ(form.btnTracePopupMenu(), form.pmenuRestart);
    form.editDestination->setText(QStringLiteral("127.0.0.4"));
    EXPECT_EQ(form.btnTracePopupMenu(), nullptr);
    form.RestartTrace1Click();  // no longer offered: nothing happens
    expectStopped();
}

TEST_F(WindowTraceTest, RoundLimitStopsTheTraceOnItsOwn) {
    form.editTraceCount->setText(QStringLiteral("2"));
    form.editDelay->setText(QStringLiteral("0.1 Seconds"));
    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form.session().isTracing(); }, 5000));

    expectStopped();
    EXPECT_EQ(form.StatusPanel1->text(), QStringLiteral("Trace Count: 2"));
    EXPECT_EQ(launcher().launched.size(), 70u);
    EXPECT_EQ(form.btnTracePopupMenu(), form.pmenuRestart);
    // The last round's results still merge after the stop.
    launcher().postResult(trace(), 1, QStringLiteral("127.0.0.1"), 3);
    deliver();
    // Both rounds probed hop 1; the result takes the place of the first one still out.
    const THostInfo& first = form.traceState().HopList.at(0);
    ASSERT_EQ(first.Samples.size(), 2u);
    EXPECT_EQ(first.Samples[0].state, SampleState::Answered);
    EXPECT_EQ(first.Samples[0].ms, 3);
    EXPECT_NE(first.Samples[1].state, SampleState::Answered);
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTraceTest, LossVerdictsAreShownOnlyWhenTurnedOnAndPersist) {
    form.editTraceCount->setText(QStringLiteral("4"));
    form.editDelay->setText(QStringLiteral("0.1 Seconds"));
    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form.session().isTracing(); }, 5000));
    // Hop 1 alternates between two routers, hop 2 misses rounds 1 and 3 while the target
    // answers every round.
    for (int round = 1; round <= 4; ++round) {
        launcher().postResult(trace(), 1,
                              round % 2 ? QStringLiteral("127.0.0.1") : QStringLiteral("127.0.0.5"),
                              2, round);
        if (round % 2) {
            launcher().postResult(trace(), 2, QString(), LOST_SAMPLE, round);
        } else {
            launcher().postResult(trace(), 2, QStringLiteral("127.0.0.2"), 4, round);
        }
        launcher().postResult(trace(), 3, QStringLiteral("127.0.0.3"), 6, round);
    }
    deliver();
    form.move(0, 0);
    form.resize(form.designSize());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(20);
    EXPECT_TRUE(form.lblDestinationLoss->isHidden());

    // The tips explain whatever the option says.
    const QPoint errCell(form.drgrTrace->colLeft(1) + 5, 2 * TTraceGrid::DefaultRowHeight + 5);
    QHelpEvent help(QEvent::ToolTip, errCell, form.drgrTrace->viewport()->mapToGlobal(errCell));
    QCoreApplication::sendEvent(form.drgrTrace->viewport(), &help);
    EXPECT_TRUE(QToolTip::text().startsWith(QStringLiteral(
        "2 of 2 lost answers came in rounds where later hops answered: this router limits its "
        "ICMP answers; traffic through it was not lost.")))
        << QToolTip::text().toStdString();
    EXPECT_EQ(form.gridEvidence().ipText(1), QStringLiteral("127.0.0.1 +1"));

    form.setDialogRunner([](QDialog& dialog) {
        static_cast<TformOptions&>(dialog).cbLossVerdicts->setChecked(true);
        return QDialog::Accepted;
    });
    form.Options1Click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.lblDestinationLoss->isVisible(); }, 2000));
    EXPECT_EQ(form.lblDestinationLoss->text(), QStringLiteral("Loss to destination: 0 %"));

    form.FormDestroy();
    EXPECT_TRUE(settings.read().contains(QStringLiteral("LossVerdicts=1")));
    TformMain again(settings.path(), testing::FakeWindowServices().services());
    EXPECT_TRUE(again.displayOptions().LossVerdicts);
}

TEST_F(WindowTraceTest, FailedStartsShowTheErrorAndLeaveTheWindowReady) {
    setHistory({"a"});
    typeAndPressEnter(QString());
    typeAndPressEnter(QStringLiteral("nosuchhost"));
    EXPECT_EQ(boxes.errors, QStringList({"Host name or IP Address required.",
                                         "Host: nosuchhost could not be found!"}));
    expectStopped();
    EXPECT_EQ(history(), QStringList({"a"}));
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("N/A"));
    EXPECT_EQ(form.btnTracePopupMenu(), nullptr);
    EXPECT_TRUE(launcher().launched.empty());

    // Pasted text with line breaks: refused, never traced, never in the history, and the
    // settings written at exit hold nothing of it.
    fakes.names->hosts["10.99.1.5"] = HostEntry{"x", {Ip("127.0.0.5")}};
    QGuiApplication::clipboard()->setText(QStringLiteral("10.99.1.5\n[Advanced]\nPacketSize=3"));
    form.editDestination->clear();
    QTest::keyClick(form.editDestination, Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(form.editDestination->text().contains(u'\n'));
    QTest::keyClick(form.editDestination, Qt::Key_Return);
    waitForStart();
    ASSERT_EQ(boxes.errors.size(), 3);
    EXPECT_TRUE(boxes.errors.last().startsWith(
        QStringLiteral("Host: 10.99.1.5\u240a[Advanced]\u240aPacketSize=3 could not be found!")))
        << boxes.errors.last().toStdString();
    expectStopped();
    EXPECT_TRUE(launcher().launched.empty());
    EXPECT_EQ(history(), QStringList({"a"}));
    form.FormDestroy();
    QFile written(settings.path());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_FALSE(bytes.contains("PacketSize")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains("10.99.1.5")) << bytes.toStdString();

    // A delay that cannot be read: the first round goes out, then the trace stops with the
    // message instead of showing "&Stop" on a trace that will never go on.
    form.editDelay->setText(QStringLiteral("abc Seconds"));
    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    ASSERT_EQ(boxes.errors.size(), 4);
    EXPECT_EQ(boxes.errors.last(), QStringLiteral("'abc ' is not a valid floating point value."));
    EXPECT_EQ(launcher().launched.size(), 35u);
    expectStopped();
}

TEST_F(WindowTraceTest, WorkerFailuresNeverPileUpOrBlockTheRounds) {
    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    launcher().postError(trace(), QStringLiteral("No buffer space available"));
    launcher().postError(trace(), QStringLiteral("No buffer space available"));
    deliver();
    EXPECT_EQ(boxes.workerErrors, QStringList({"No buffer space available."}));

    // The next round fails the same way while the first box is still open: no second box.
    form.tmrTraceTimer();
    launcher().postError(trace(), QStringLiteral("No buffer space available"));
    launcher().postError(trace(), QStringLiteral("Network is unreachable"));
    deliver();
    EXPECT_EQ(boxes.workerErrors,
              QStringList({"No buffer space available.", "Network is unreachable."}));
    EXPECT_TRUE(form.session().isTracing());

    fakes.boxes->closeWorkerBoxes();
    form.tmrTraceTimer();
    launcher().postError(trace(), QStringLiteral("No buffer space available"));
    deliver();
    EXPECT_EQ(boxes.workerErrors.size(), 3);
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(WindowTraceTest, StartUpReportsAMissingIcmpSocketAndSetsThePacketSize) {
    testing::TempSettings ini;
    ini.write(QStringLiteral("[Advanced]\nPacketSize=100\n"));
    EchoService::BindOptions nothing;
    nothing.allowDatagram = false;
    nothing.allowRaw = false;
    auto echo = std::make_shared<EchoService>(nothing);
    WindowServices services = fakes.services();
    services.echo = echo;
    TformMain window(ini.path(), services);
    EXPECT_EQ(echo->packetSize(), 100);
    window.ShowStartupError();
    EXPECT_EQ(boxes.startupErrors, QStringList({EchoService::StartupFailureText}));
}

TEST_F(WindowTraceTest, HistoryRecallsDeletesAndSorts) {
    fakes.names->hosts["A"] = HostEntry{"a.hoplark.test", {Ip("127.0.0.7")}};
    fakes.names->hosts["a"] = HostEntry{"a.hoplark.test", {Ip("127.0.0.7")}};
    setHistory({"b", "a", "c"});
    typeAndPressEnter(QStringLiteral("A"));
    EXPECT_EQ(history(), QStringList({"A", "b", "c"}));
    form.btnTraceClick();
    typeAndPressEnter(QStringLiteral("a"));
    EXPECT_EQ(history(), QStringList({"A", "b", "c"}));
    form.btnTraceClick();

    form.lbHistory->clearSelection();
    form.editDestination->setText(QStringLiteral("typed"));
    form.lbHistoryDblClick();
    form.Delete1Click();
    EXPECT_EQ(form.editDestination->text(), QStringLiteral("typed"));
    EXPECT_EQ(history(), QStringList({"A", "b", "c"}));

    form.lbHistory->setCurrentRow(1);
    form.lbHistoryDblClick();
    EXPECT_EQ(form.editDestination->text(), QStringLiteral("b"));
    EXPECT_EQ(form.btnTracePopupMenu(), nullptr);  // same as typing: no restart
    form.Delete1Click();
    EXPECT_EQ(history(), QStringList({"A", "c"}));

    setHistory({"delta", "Alpha", "charlie"});
    form.lbHistory->setCurrentRow(0);
    form.SortList1Click();
    EXPECT_EQ(history(), QStringList({"Alpha", "charlie", "delta"}));
    EXPECT_EQ(form.lbHistory->currentRow(), 0);  // kept by position
    typeAndPressEnter(QStringLiteral("127.0.0.9"));
    EXPECT_EQ(history().first(), QStringLiteral("127.0.0.9"));
}

TEST_F(WindowTraceTest, SliderPanelNeedsTheMenuItemAndACount) {
    form.editSampleCount->setText(QStringLiteral("2"));
    form.miShowHistorySlider->trigger();
    EXPECT_TRUE(form.miShowHistorySlider->isChecked());
    EXPECT_TRUE(form.pnlTimePeriod->isHidden());  // no round yet

    typeAndPressEnter(QStringLiteral("127.0.0.3"));
    EXPECT_FALSE(form.pnlTimePeriod->isHidden());
    for (int round = 2; round <= 5; ++round)
        form.tmrTraceTimer();
    EXPECT_EQ(form.tbTime->maximum(), 5);
    EXPECT_EQ(form.tbTime->value(), 5);
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 4 to 5"));

    form.tbTime->setValue(2);  // the user's move
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 2 to 3"));
    form.tmrTraceTimer();  // history mode: the window stays put
    EXPECT_EQ(form.tbTime->maximum(), 6);
    EXPECT_EQ(form.tbTime->value(), 2);
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 2 to 3"));

    // The slider spans its panel, also as the window changes width.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.tbTime->width(), form.pnlTimePeriod->width());
    form.resize(form.width() + 150, form.height());
    QTest::qWait(20);
    EXPECT_EQ(form.pnlTimePeriod->width(), form.pnlGrid->width());
    EXPECT_EQ(form.tbTime->width(), form.pnlTimePeriod->width());

    form.editSampleCount->setText(QStringLiteral("0"));
    EXPECT_EQ(form.editSampleCount->text(), QStringLiteral("ALL"));
    EXPECT_TRUE(form.pnlTimePeriod->isHidden());
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 1 to 6"));

    form.editSampleCount->setText(QStringLiteral("3"));
    EXPECT_FALSE(form.pnlTimePeriod->isHidden());
    form.miShowHistorySlider->trigger();
    EXPECT_FALSE(form.miShowHistorySlider->isChecked());
    EXPECT_TRUE(form.pnlTimePeriod->isHidden());
}

}  // namespace
}  // namespace hoplark
