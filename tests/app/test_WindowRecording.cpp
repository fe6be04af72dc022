// The window's recordings: every trace recorded into the data folder, reopened as if just
// traced, exported, and the times of the displayed rounds in the tool tips.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "app/FakeTrace.h"
#include "app/MainWindow.h"
#include "app/QtMessageBoxes.h"
#include "app/RecordingMenu.h"
#include "app/WindowFakes.h"
#include "probe/EchoService.h"
#include "support/Addresses.h"
#include "support/DataHome.h"
#include "support/QtPrinters.h"
#include "support/TempSettings.h"
#include "trace/HoplarkError.h"
#include "view/TraceText.h"

namespace hoplark {
namespace {

using testing::DataHome;

class WindowRecording : public ::testing::Test {
protected:
    WindowRecording() { fakes.names->reverse[Ip("127.0.0.3")] = "target.hoplark.test"; }

    // A trace of `rounds` rounds to 127.0.0.3 at hop 3, hop 2 lost every third round.
    void trace(TformMain& form, testing::FakeWindowServices& services, int rounds) {
        testing::TraceThreeHopsThroughFakes(form, services, rounds, [](int hop, int round) {
            return (hop * 2 + round % 4) * 1000 + 17;
        });
    }

    // Lets the window's event loop run until the recording being opened is shown or refused.
    static bool openedInTime(TformMain& window) {
        return QTest::qWaitFor([&window] { return !window.recordingMenu().opening(); }, 20000);
    }

    QStringList recordings() const {
        return QDir(home.recordings()).entryList({QStringLiteral("*.hoplark")}, QDir::Files);
    }

    DataHome home;
    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form{settings.path(), fakes.services()};
};

TEST_F(WindowRecording, RecordingMenuStandsBetweenEditAndHelpWhoseItemsStay) {
    QStringList titles;
    for (QAction* action : form.menuBar()->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Recording", "&Help"}));
    QStringList items;
    for (QAction* action : form.recordingMenu().menu->actions())
        if (!action->isSeparator()) items << action->text();
    EXPECT_EQ(items.mid(0, 3),
              (QStringList{"&Open Recording...", "Open &Recordings Folder", "&Export..."}));
    EXPECT_EQ(form.menuBar()->actions()[0]->menu()->actions().size(), 1);
    EXPECT_EQ(form.menuBar()->actions()[1]->menu()->actions().size(), 4);
    EXPECT_EQ(form.menuBar()->actions()[4]->menu()->actions().size(), 5);
}

TEST_F(WindowRecording, EveryTraceIsRecordedAndReopensAsIfJustTraced) {
    form.miShowHistorySliderClick();
    trace(form, fakes, 12);
    const QStringList files = recordings();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.front().startsWith(QStringLiteral("127.0.0.3_"))) << files.front();

    testing::TempSettings otherSettings;
    testing::FakeWindowServices other;
    TformMain reopened(otherSettings.path(), other.services());
    reopened.miShowHistorySliderClick();
    reopened.recordingMenu().openRecording(QDir(home.recordings()).filePath(files.front()));
    ASSERT_TRUE(openedInTime(reopened));
    ASSERT_TRUE(other.boxes->errors.empty());
    EXPECT_TRUE(other.launcher->launched.empty());
    EXPECT_EQ(reopened.drgrTrace->rowCount(), form.drgrTrace->rowCount());
    EXPECT_EQ(reopened.lblTargetAddress->text(), form.lblTargetAddress->text());
    EXPECT_EQ(reopened.lblHostName->text(), form.lblHostName->text());
    EXPECT_EQ(reopened.StatusPanel1->text(), form.StatusPanel1->text());
    EXPECT_EQ(reopened.StatusPanel2->text(), form.StatusPanel2->text());
    EXPECT_EQ(reopened.tbTime->maximum(), form.tbTime->maximum());
    EXPECT_EQ(reopened.btnTracePopupMenu(), nullptr);
    EXPECT_EQ(
        BuildTraceText(reopened.traceState(), reopened.lblHostName->text(),
                       reopened.lblTargetAddress->text()),
        BuildTraceText(form.traceState(), form.lblHostName->text(), form.lblTargetAddress->text()));

    // The slider moves over the stored rounds and the tool tip says when they were.
    reopened.tbTime->setValue(2);
    form.tbTime->setValue(2);
    EXPECT_EQ(reopened.StatusPanel2->text(), QStringLiteral("Displayed Samples: 2 to 11"));
    EXPECT_EQ(reopened.StatusPanel2->text(), form.StatusPanel2->text());
    const QString tip = reopened.StatusPanel2->toolTip();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("Sample 2 at "))) << tip;
    EXPECT_TRUE(tip.contains(QStringLiteral("sample 11 at "))) << tip;
    EXPECT_EQ(reopened.tbTime->toolTip(), tip);
    EXPECT_EQ(form.StatusPanel2->toolTip(), tip);
    // Reopening wrote nothing new.
    EXPECT_EQ(recordings().size(), 1);
}

TEST_F(WindowRecording, ARecordingIsShownWithoutIcmpUntilATraceIsStarted) {
    trace(form, fakes, 3);
    const QStringList files = recordings();
    ASSERT_EQ(files.size(), 1);

    // A machine where no ICMP socket can be opened, started to show that recording.
    EchoService::BindOptions nothing;
    nothing.allowDatagram = false;
    nothing.allowRaw = false;
    testing::TempSettings otherSettings;
    testing::FakeWindowServices other;
    other.names->reverse[Ip("127.0.0.3")] = "target.hoplark.test";
    WindowServices services = other.services();
    services.echo = std::make_shared<EchoService>(nothing);
    TformMain viewer(otherSettings.path(), services);
    viewer.ShowStartupError(TformMain::StartupView::Recording);
    viewer.recordingMenu().openRecording(QDir(home.recordings()).filePath(files.front()));
    ASSERT_TRUE(openedInTime(viewer));
    EXPECT_TRUE(other.boxes->startupErrors.isEmpty());
    EXPECT_TRUE(other.boxes->errors.isEmpty());
    EXPECT_TRUE(viewer.session().isReplay());

    // Probing is what needs the socket: the first start says what is missing, once.
    viewer.editDestination->setText(QStringLiteral("127.0.0.3"));
    viewer.btnTraceClick();
    EXPECT_EQ(other.boxes->startupErrors, QStringList({EchoService::StartupFailureText}));
    EXPECT_TRUE(QTest::qWaitFor([&viewer] { return !viewer.session().isStarting(); }, 10000));
    viewer.btnTraceClick();  // stop
    viewer.btnTraceClick();  // and start again
    EXPECT_TRUE(QTest::qWaitFor([&viewer] { return !viewer.session().isStarting(); }, 10000));
    EXPECT_EQ(other.boxes->startupErrors.size(), 1);
    viewer.btnTraceClick();
}

TEST_F(WindowRecording, DamagedFileGetsAClearErrorAndTheTableStays) {
    trace(form, fakes, 2);
    const int rows = form.drgrTrace->rowCount();
    const QString path = settings.folder() + QStringLiteral("/bad.hoplark");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a recording at all");
    file.close();
    form.recordingMenu().openRecording(path);
    ASSERT_TRUE(openedInTime(form));
    ASSERT_EQ(fakes.boxes->errors.size(), 1);
    EXPECT_EQ(fakes.boxes->errors.front(), path + QStringLiteral(" is not a Hoplark recording."));
    EXPECT_EQ(form.drgrTrace->rowCount(), rows);
    EXPECT_FALSE(form.session().isReplay());
}

TEST_F(WindowRecording, OpeningRunsBesideTheWindowAndGivesWayToWhatTheUserDoesNext) {
    trace(form, fakes, 5);
    const QString first = QDir(home.recordings()).filePath(recordings().front());
    // Read on a thread of its own: the call returns at once, the table stays as it is until the
    // recording has been read, and the status bar says what is being opened.
    form.recordingMenu().openRecording(first);
    EXPECT_TRUE(form.recordingMenu().opening());
    EXPECT_FALSE(form.session().isReplay());
    EXPECT_TRUE(form.StatusBar->noticeShown());
    EXPECT_TRUE(form.StatusBar->notice().startsWith(QStringLiteral("Opening 127.0.0.3_")))
        << form.StatusBar->notice().toStdString();
    ASSERT_TRUE(openedInTime(form));
    EXPECT_TRUE(form.session().isReplay());
    EXPECT_EQ(form.recordingMenu().openedPath(), first);
    EXPECT_FALSE(form.StatusBar->noticeShown());

    // A trace started meanwhile wins: the recording read in the background never replaces it.
    form.recordingMenu().openRecording(first);
    trace(form, fakes, 3);
    EXPECT_FALSE(form.recordingMenu().opening());
    QTest::qWait(100);
    EXPECT_FALSE(form.session().isReplay());
    EXPECT_TRUE(form.recordingMenu().openedPath().isEmpty());
    EXPECT_EQ(form.traceState().SamplesTaken, 3);
    EXPECT_FALSE(form.StatusBar->noticeShown());
    ASSERT_EQ(recordings().size(), 2);

    // The later of two recordings opened one after the other is the one shown.
    QString second = QDir(home.recordings()).filePath(recordings().back());
    if (second == first) second = QDir(home.recordings()).filePath(recordings().front());
    form.recordingMenu().openRecording(first);
    form.recordingMenu().openRecording(second);
    ASSERT_TRUE(openedInTime(form));
    QTest::qWait(100);
    EXPECT_EQ(form.recordingMenu().openedPath(), second);
    EXPECT_EQ(form.traceState().SamplesTaken, 3);
    EXPECT_TRUE(fakes.boxes->errors.empty());

    // A window closed or destroyed while it reads a recording ends the load with it.
    {
        testing::TempSettings otherSettings;
        testing::FakeWindowServices other;
        auto closing = std::make_unique<TformMain>(otherSettings.path(), other.services());
        closing->recordingMenu().openRecording(first);
        closing->close();
        EXPECT_FALSE(closing->recordingMenu().opening());
        QTest::qWait(50);
        EXPECT_FALSE(closing->session().isReplay());
        closing->recordingMenu().openRecording(first);
        closing.reset();
        QTest::qWait(50);
    }
}

TEST_F(WindowRecording, RecordingTurnedOffInTheMenuOrTheSettingsRecordsNothing) {
    form.recordingMenu().RecordTraces1->trigger();
    EXPECT_FALSE(form.recordingMenu().recordingEnabled());
    trace(form, fakes, 2);
    EXPECT_TRUE(recordings().isEmpty());
    form.FormDestroy();
    EXPECT_TRUE(settings.read().contains(QStringLiteral("Enabled=0"))) << settings.read();

    testing::FakeWindowServices again;
    TformMain next(settings.path(), again.services());
    EXPECT_FALSE(next.recordingMenu().recordingEnabled());
    trace(next, again, 1);
    EXPECT_TRUE(recordings().isEmpty());
}

TEST_F(WindowRecording, DefaultSettingsGainNoRecordingSection) {
    trace(form, fakes, 1);
    form.FormDestroy();
    EXPECT_FALSE(settings.read().contains(QStringLiteral("[Recording]"))) << settings.read();
}

TEST_F(WindowRecording, ExportWritesTheDisplayedWindowPerHopAndPerProbe) {
    trace(form, fakes, 12);  // window: rounds 3 to 12
    RecordingMenu& menu = form.recordingMenu();
    const QString csvPath = settings.folder() + QStringLiteral("/hops.csv");
    menu.exportTo(csvPath, TraceExport::Format::Csv, TraceExport::Rows::PerHop);
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 3);
    // One plain table: the context rides in columns of every row.
    const QStringList header = lines[0].split(u',');
    const QStringList hop2 = lines[2].split(u',');
    ASSERT_EQ(hop2.size(), header.size());
    const auto field = [&](const char* name) { return hop2[header.indexOf(QLatin1String(name))]; };
    EXPECT_EQ(field("target"), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(field("first_round"), QStringLiteral("3"));
    EXPECT_EQ(field("last_round"), QStringLiteral("12"));
    EXPECT_TRUE(field("from_utc").startsWith(QStringLiteral("20"))) << lines[2];
    // Hop 2 was lost in rounds 3, 6, 9 and 12 of the window.
    EXPECT_EQ(field("hop"), QStringLiteral("2"));
    EXPECT_EQ(field("ip"), QStringLiteral("127.0.1.2"));
    EXPECT_EQ(field("sent"), QStringLiteral("10"));
    EXPECT_EQ(field("lost"), QStringLiteral("4"));
    EXPECT_EQ(field("loss_pct"), QStringLiteral("40.000"));

    const QString jsonPath = settings.folder() + QStringLiteral("/probes.json");
    menu.exportTo(jsonPath, TraceExport::Format::Json, TraceExport::Rows::PerProbe);
    QFile json(jsonPath);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(json.readAll()).object();
    const QJsonArray probes = root["probes"].toArray();
    ASSERT_EQ(probes.size(), 30);
    EXPECT_EQ(probes[0].toObject()["round"].toInt(), 3);
    EXPECT_EQ(probes[1].toObject()["rtt_us"], QJsonValue());  // hop 2, lost in round 3
    EXPECT_EQ(probes[2].toObject()["rtt_us"].toInt(), (6 + 3) * 1000 + 17);
    EXPECT_EQ(root["version"].toString(), QStringLiteral(HOPLARK_VERSION));

    EXPECT_THROW(menu.exportTo(settings.folder() + QStringLiteral("/no/such/dir/x.csv"),
                               TraceExport::Format::Csv, TraceExport::Rows::PerHop),
                 HoplarkError);
}

TEST_F(WindowRecording, ExportGivesANameWithoutExtensionTheChosenFiltersOne) {
    trace(form, fakes, 3);
    RecordingMenu& menu = form.recordingMenu();
    struct Case {
        const char* typed;
        int filter;  // of the offered ones, in order: CSV and JSON per hop, then per probe
        const char* written;
    };
    const Case cases[] = {
        {"hops", 0, "hops.csv"},
        {"probes", 3, "probes.json"},
        {"kept.csv", 2, "kept.csv"},
        {"other.txt", 1, "other.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        menu.setFileChooser([&](bool save, const QString&, const QString& filter, QString* chosen) {
            EXPECT_TRUE(save);
            const QStringList offered = filter.split(QStringLiteral(";;"));
            EXPECT_EQ(offered.size(), 4);
            *chosen = offered.value(c.filter);
            return settings.folder() + u'/' + QLatin1String(c.typed);
        });
        menu.Export1Click();
        EXPECT_TRUE(QFileInfo::exists(settings.folder() + u'/' + QLatin1String(c.written)));
        if (qstrcmp(c.typed, c.written) != 0) {
            EXPECT_FALSE(QFileInfo::exists(settings.folder() + u'/' + QLatin1String(c.typed)));
        }
    }
    QFile json(settings.folder() + QStringLiteral("/probes.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QJsonDocument::fromJson(json.readAll()).object().contains("probes"));
    // CSV per probe: a header, then one row per probe of the three rounds' three hops.
    QFile csv(settings.folder() + QStringLiteral("/other.txt"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 9);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("round,round_start_utc,hop,"))) << lines[0];
    EXPECT_TRUE(fakes.boxes->errors.empty()) << fakes.boxes->errors.join(u'\n').toStdString();
}

TEST_F(WindowRecording, AFolderNoFileManagerOpensIsNamedInTheBox) {
    RecordingMenu& menu = form.recordingMenu();
    QStringList asked;
    bool opens = true;
    menu.setFolderOpener([&](const QString& path) {
        asked << path;
        return opens;
    });
    menu.OpenRecordingsFolder1->trigger();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(QFileInfo(asked[0]).isDir());
    EXPECT_TRUE(fakes.boxes->errors.empty());

    opens = false;
    menu.OpenRecordingsFolder1->trigger();
    ASSERT_EQ(fakes.boxes->errors.size(), 1);
    EXPECT_TRUE(fakes.boxes->errors[0].contains(QStringLiteral("file manager")));
    EXPECT_EQ(fakes.boxes->errorPaths, QStringList{QDir::toNativeSeparators(menu.folder())});
}

// The box the program shows for such a failure lets the user select and copy the path.
TEST(MessageBoxesOnScreen, APathInAnErrorBoxCanBeSelected) {
    QtMessageBoxes boxes;
    QString shown;
    Qt::TextInteractionFlags flags;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            flags = box->textInteractionFlags();
            box->accept();
        }
    });
    boxes.showErrorWithPath(nullptr, QStringLiteral("Cannot open it."),
                            QStringLiteral("/home/u/.local/share/hoplark/recordings"));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\n/home/u/.local/share/hoplark/recordings")))
        << shown.toStdString();
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByKeyboard));
}

TEST_F(WindowRecording, CopyWithTimesAddsOneLineBeforeTheUnchangedText) {
    trace(form, fakes, 3);
    form.CopyasText1Click();
    const QString plain = QGuiApplication::clipboard()->text();
    form.recordingMenu().CopyWithTimes1Click();
    const QString timed = QGuiApplication::clipboard()->text();
    const qsizetype firstLineEnd = timed.indexOf(QStringLiteral("\r\n"));
    EXPECT_EQ(timed.mid(firstLineEnd + 2), plain);
    const QString first = timed.left(firstLineEnd);
    EXPECT_TRUE(first.startsWith(QStringLiteral("Target: 127.0.0.3 [127.0.0.3]  "))) << first;
    EXPECT_TRUE(first.contains(QStringLiteral("Z to "))) << first;
    EXPECT_TRUE(first.endsWith(QStringLiteral("Hoplark " HOPLARK_VERSION))) << first;
    EXPECT_TRUE(plain.startsWith(QStringLiteral("Target Name: ")));
}

}  // namespace
}  // namespace hoplark
