// The timeline through the real window: off until View > Timeline turns it on, kept in the
// settings, a click on a round moves the history slider, and a reopened recording shows its
// rounds as the live trace did.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>

#include "app/FakeTrace.h"
#include "app/MainWindow.h"
#include "app/RecordingMenu.h"
#include "app/TimelinePane.h"
#include "app/WindowFakes.h"
#include "support/DataHome.h"
#include "support/TempSettings.h"
#include "view/TimelineView.h"

namespace hoplark {
namespace {

using testing::DataHome;

class WindowTimeline : public ::testing::Test {
protected:
    // A trace of `rounds` rounds to 127.0.0.3 at hop 3, hop 2 lost every third round.
    void trace(int rounds) {
        testing::TraceThreeHopsThroughFakes(form, fakes, rounds,
                                            [](int hop, int) { return hop * 2 * 1000; });
    }

    static void showAndSettle(TformMain& window) {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // The refresh timer hands the new rounds to the timeline.
        EXPECT_TRUE(QTest::qWaitFor([&window] { return !window.tmrRefresh->isActive(); }, 5000));
    }
    static QColor cellColor(const TimelineView& timeline, qint64 round, int lane) {
        const QRect rect = timeline.cellRect(round, lane);
        EXPECT_FALSE(rect.isEmpty()) << "round " << round;
        return timeline.image(1.0).pixelColor(rect.center());
    }

    DataHome home;
    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form{settings.path(), fakes.services()};
};

TEST_F(WindowTimeline, OffUntilTurnedOnThenKeptAndAClickMovesTheHistorySlider) {
    QStringList titles;
    for (QAction* action : form.menuBar()->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Recording", "&Help"}));
    TimelinePane& view = form.timelinePane();
    EXPECT_FALSE(view.Timeline1->isChecked());
    EXPECT_TRUE(view.timeline->isHidden());

    form.editSampleCount->setText(QStringLiteral("5"));
    form.miShowHistorySliderClick();
    trace(12);
    showAndSettle(form);
    view.Timeline1->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&view] { return view.timeline->isVisible(); }, 5000));
    EXPECT_EQ(view.timeline->scale().columnCount(form.traceState().SamplesTaken), 12);

    // Hop 2's lost rounds are marked, its answered ones coloured.
    const QColor lost = view.timeline->palette().color(QPalette::Text);
    EXPECT_EQ(cellColor(*view.timeline, 3, 1), lost);
    EXPECT_NE(cellColor(*view.timeline, 4, 1), lost);

    QTest::mouseClick(view.timeline, Qt::LeftButton, {}, view.timeline->cellRect(4, 0).center());
    EXPECT_EQ(form.tbTime->value(), 4);
    EXPECT_EQ(form.traceState().Window.FirstSample, 3);
    EXPECT_EQ(form.StatusPanel2->text(), QStringLiteral("Displayed Samples: 4 to 8"));

    // Copied as an image from its context menu: the picture as shown, without the scroll bar.
    QAction* copy = nullptr;
    for (QAction* item : view.timeline->contextMenu()->actions())
        if (item->text() == QStringLiteral("&Copy Timeline as Image")) copy = item;
    ASSERT_NE(copy, nullptr);
    copy->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.width(), view.timeline->image().width());
    EXPECT_EQ(copied.height(), view.timeline->image().height());
    EXPECT_LT(copied.height(), view.timeline->height() * copied.devicePixelRatio());

    form.close();
    EXPECT_TRUE(settings.read().contains(QStringLiteral("Timeline=1")));
    testing::FakeWindowServices otherFakes;
    TformMain reopened(settings.path(), otherFakes.services());
    EXPECT_TRUE(reopened.timelinePane().Timeline1->isChecked());
    EXPECT_FALSE(reopened.timelinePane().timeline->isHidden());
}

TEST_F(WindowTimeline, AReopenedRecordingShowsItsRoundsAsTheLiveTraceDid) {
    trace(12);
    const QStringList files =
        QDir(home.recordings()).entryList({QStringLiteral("*.hoplark")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);

    testing::TempSettings otherSettings;
    otherSettings.write(QStringLiteral("[Display]\nTimeline=1\n"));
    testing::FakeWindowServices other;
    TformMain reopened(otherSettings.path(), other.services());
    showAndSettle(reopened);
    reopened.recordingMenu().openRecording(QDir(home.recordings()).filePath(files.front()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reopened.recordingMenu().opening(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reopened.tmrRefresh->isActive(); }, 5000));

    const TimelineView& timeline = *reopened.timelinePane().timeline;
    EXPECT_EQ(timeline.scale().columnCount(reopened.traceState().SamplesTaken), 12);
    const QColor lost = timeline.palette().color(QPalette::Text);
    for (int round : {3, 6, 9, 12})
        EXPECT_EQ(cellColor(timeline, round, 1), lost) << round;
    EXPECT_NE(cellColor(timeline, 4, 1), lost);
    EXPECT_TRUE(timeline.toolTipAt(timeline.cellRect(4, 2).center()).contains("127.0.0.3"));
}

}  // namespace
}  // namespace hoplark
