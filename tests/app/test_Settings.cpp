#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include "app/MainWindow.h"
#include "app/SettingsFile.h"
#include "app/SettingsLocation.h"
#include "app/WindowFakes.h"
#include "app/WindowPlacement.h"
#include "support/TempSettings.h"
#include "trace/HoplarkError.h"

namespace hoplark {
namespace {

using testing::TempSettings;

QStringList historyItems(const TformMain& form) {
    QStringList items;
    for (int i = 0; i < form.lbHistory->count(); ++i)
        items << form.lbHistory->item(i)->text();
    return items;
}

TEST(SettingsFileStartUp, NoFileGivesEveryDefault) {
    TempSettings settings;
    TformMain form(settings.path(), testing::FakeWindowServices().services());
    const DisplayOptions& options = form.displayOptions();
    EXPECT_EQ(form.lbHistory->count(), 0);
    EXPECT_EQ(form.size(), form.designSize());
    EXPECT_EQ(form.editDelay->text(), QStringLiteral("15 Seconds"));
    EXPECT_EQ(form.udTraceCount->position(), 0);
    EXPECT_EQ(form.editTraceCount->text(), QStringLiteral("Unlimited"));
    EXPECT_EQ(form.udSampleCount->position(), 10);
    EXPECT_EQ(options.WarningSpeed, 200);
    EXPECT_EQ(options.BadSpeed, 500);
    EXPECT_TRUE(options.ColorHops);
    EXPECT_TRUE(options.ColorGraphs);
    EXPECT_TRUE(options.GraphCurrentSample);
    EXPECT_FALSE(form.IgnoreFirstHop);
    EXPECT_FALSE(options.ShowCurrentTime);
    EXPECT_FALSE(options.ShowFractions);
    EXPECT_FALSE(options.LossVerdicts);
    EXPECT_EQ(form.drgrTrace->colWidth(4), 55);
    EXPECT_EQ(form.PacketSize, 56);
    EXPECT_FALSE(settings.exists());

    form.FormDestroy();
    const QString written = settings.read();
    for (const char* key : {"[History]",
                            "Count",
                            "[Position]",
                            "Left",
                            "Top",
                            "Width",
                            "Height",
                            "[Warnings]",
                            "WARNINGSPEED",
                            "BADSPEED",
                            "ColorHops",
                            "ColorGraphs",
                            "[Samples]",
                            "TraceDelay",
                            "TraceCount",
                            "IgnoreFirstHop",
                            "GraphCurrentSample",
                            "[Statistics]",
                            "SampleCount",
                            "[Display]",
                            "ShowCurrentTime",
                            "ShowFractions=0",
                            "LossVerdicts=0"}) {
        EXPECT_TRUE(written.contains(QLatin1String(key))) << key;
    }
    EXPECT_FALSE(written.contains(QStringLiteral("PacketSize")));
    EXPECT_FALSE(written.contains(QStringLiteral("Item0")));
}

TEST(SettingsFileStartUp, ValuesAreReadAsTheyWereWritten) {
    struct Case {
        const char* content;
        std::function<void(const TformMain&)> check;
    };
    const Case cases[] = {
        {"[History]\nCount=3\nItem0=alpha\nItem1=\nItem2=gamma\n",
         [](const TformMain& f) {
             EXPECT_EQ(historyItems(f), QStringList({"alpha", "gamma"}));
         }},
        {"[History]\nCount=2\nItem0=a\nItem1=b\nItem5=stale\n",
         [](const TformMain& f) {
             EXPECT_EQ(historyItems(f), QStringList({"a", "b"}));
         }},
        {"[Warnings]\nWARNINGSPEED=0x12C\nBADSPEED=$3E8\n",
         [](const TformMain& f) {
             EXPECT_EQ(f.displayOptions().WarningSpeed, 300);
             EXPECT_EQ(f.displayOptions().BadSpeed, 1000);
         }},
        {"[warnings]\nwarningspeed=250\ncolorhops=0\n[DISPLAY]\nshowcurrenttime=1\n",
         [](const TformMain& f) {
             EXPECT_EQ(f.displayOptions().WarningSpeed, 250);
             EXPECT_FALSE(f.displayOptions().ColorHops);
             EXPECT_TRUE(f.displayOptions().ShowCurrentTime);
             EXPECT_EQ(f.drgrTrace->colWidth(4), 80);
         }},
        {"[Display]\nShowCurrentTime=1\nShowFractions=1\n",
         [](const TformMain& f) {
             EXPECT_TRUE(f.displayOptions().ShowFractions);
             EXPECT_GT(f.drgrTrace->colWidth(4), 80);
         }},
        {"[Display]\nStatisticsColumns=wrst, loss%,bogus\n",
         [](const TformMain& f) {
             EXPECT_EQ(f.displayOptions().ShownStatistics,
                       (StatisticsColumns{StatisticsColumn::Loss, StatisticsColumn::Worst}));
             EXPECT_EQ(f.drgrTrace->extraColCount(), 2);
         }},
        {"[Warnings]\nColorHops=yes\nColorGraphs=7\n",
         [](const TformMain& f) {
             EXPECT_TRUE(f.displayOptions().ColorHops);
             EXPECT_TRUE(f.displayOptions().ColorGraphs);
         }},
        {"[Samples]\nTraceDelay=15 seconds\nTraceCount=5\n[Statistics]\nSampleCount=0\n",
         [](const TformMain& f) {
             EXPECT_EQ(f.editDelay->text(), QStringLiteral("15 seconds"));
             EXPECT_EQ(f.editTraceCount->text(), QStringLiteral("5"));
             EXPECT_EQ(f.udSampleCount->position(), 0);
         }},
        {"[Advanced]\nPacketSize=100\n", [](const TformMain& f) { EXPECT_EQ(f.PacketSize, 100); }},
        {"[Position]\nLeft=40\nTop=30\nWidth=640\nHeight=420\n",
         [](const TformMain& f) {
             EXPECT_EQ(f.pos(), QPoint(40, 30));
             EXPECT_EQ(f.size(), QSize(640, 420));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        TempSettings settings;
        settings.write(QString::fromUtf8(c.content));
        TformMain form(settings.path(), testing::FakeWindowServices().services());
        c.check(form);
    }
}

TEST(SettingsFileShutDown, KeepsKeysItDoesNotWriteAndTheCaseOfTexts) {
    TempSettings settings;
    settings.write(
        QStringLiteral("[History]\nCount=5\nItem0=a\nItem1=b\nItem2=c\nItem3=d\n"
                       "Item4=e\n[Samples]\nTraceDelay=15 seconds\n"
                       "[Advanced]\nPacketSize=100\n"));
    {
        TformMain form(settings.path(), testing::FakeWindowServices().services());
        delete form.lbHistory->takeItem(4);
        delete form.lbHistory->takeItem(3);
        delete form.lbHistory->takeItem(0);
        form.FormDestroy();
    }
    const QString written = settings.read();
    EXPECT_TRUE(written.contains(QStringLiteral("Count=2"))) << written.toStdString();
    EXPECT_TRUE(written.contains(QStringLiteral("Item0=b")));
    EXPECT_TRUE(written.contains(QStringLiteral("Item1=c")));
    EXPECT_TRUE(written.contains(QStringLiteral("Item4=e")));
    EXPECT_TRUE(written.contains(QStringLiteral("TraceDelay=15 seconds")));
    EXPECT_TRUE(written.contains(QStringLiteral("PacketSize=100")));

    TformMain again(settings.path(), testing::FakeWindowServices().services());
    EXPECT_EQ(historyItems(again), QStringList({"b", "c"}));
    EXPECT_EQ(again.PacketSize, 100);
}

TEST(SettingsFileShutDown, UnwritableFolderReportsThePathAndKeepsTheOldFile) {
    TempSettings settings;
    const QString old = QStringLiteral("[Warnings]\nWARNINGSPEED=123\n");
    settings.write(old);
    TformMain form(settings.path(), testing::FakeWindowServices().services());
    ASSERT_EQ(chmod(QFile::encodeName(settings.folder()).constData(), 0555), 0);
    {
        testing::ScopedFilePermissionsEnforced enforced;
        try {
            form.FormDestroy();
            ADD_FAILURE() << "the write was not refused";
        } catch (const HoplarkError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("Unable to write to ") + settings.path());
        }
    }
    chmod(QFile::encodeName(settings.folder()).constData(), 0755);
    EXPECT_EQ(settings.read(), old);
    EXPECT_EQ(QDir(settings.folder()).entryList(QDir::Files).size(), 1);
}

TEST(SettingsFileShutDown, ASignalsCloseReportsAnUnwritableFileOnTheErrorStreamNotInABox) {
    TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form(settings.path(), fakes.services());
    ASSERT_EQ(chmod(QFile::encodeName(settings.folder()).constData(), 0555), 0);
    std::FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);
    {
        testing::ScopedFilePermissionsEnforced enforced;
        form.closeOnSignal(errors);
    }
    chmod(QFile::encodeName(settings.folder()).constData(), 0755);
    EXPECT_TRUE(fakes.boxes->errors.isEmpty()) << fakes.boxes->errors.join(u'\n').toStdString();
    std::rewind(errors);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, errors), nullptr);
    std::fclose(errors);
    EXPECT_EQ(QString::fromLocal8Bit(line).trimmed(),
              QStringLiteral("hoplark: Unable to write to ") + settings.path() + u'.');
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A run of the window over a damaged or hand-made file keeps every user key and byte.
TEST(SettingsFileRoundTrip, DamagedAndForeignTextSurvivesARun) {
    using namespace Qt::Literals::StringLiterals;
    TempSettings settings;
    const QByteArray garbage = "\x7f\x45LF\x02\x01\x01\0\0\0 binary\n"_ba;
    writeFileBytes(settings.path(), garbage +
                                        "[History]\nCount=2\nItem0=caf\xE9\nItem1=alpha\n"
                                        "[Warnings]\nWARNINGSPEED=321\n[Mine]\nKeep=this\n"_ba);
    {
        TformMain form(settings.path(), testing::FakeWindowServices().services());
        EXPECT_EQ(historyItems(form), QStringList({QStringLiteral("caf\u00E9"), "alpha"}));
        EXPECT_EQ(form.displayOptions().WarningSpeed, 321);
        // A pasted destination with line breaks must not become settings of its own.
        form.lbHistory->addItem(QStringLiteral("10.99.1.5\n[Advanced]\nPacketSize=3"));
        form.FormDestroy();
    }
    const QByteArray written = fileBytes(settings.path());
    EXPECT_TRUE(written.startsWith(garbage));
    EXPECT_TRUE(written.contains("\nItem0=caf\xE9\n"_ba));
    EXPECT_TRUE(written.contains("\n[Mine]\nKeep=this\n"));
    EXPECT_FALSE(written.contains("Advanced"));
    EXPECT_FALSE(written.contains("PacketSize"));
    TformMain again(settings.path(), testing::FakeWindowServices().services());
    EXPECT_EQ(again.PacketSize, 56);
    EXPECT_EQ(again.displayOptions().WarningSpeed, 321);
    EXPECT_EQ(historyItems(again).mid(0, 2), QStringList({QStringLiteral("caf\u00E9"), "alpha"}));
}

TEST(SettingsFileAbsurdValues, NeitherStallNorHideTheWindow) {
    TempSettings settings;
    settings.write(
        QStringLiteral("[History]\nCount=2147483647\nItem0=a\nItem7=b\n"
                       "[Position]\nLeft=-2147483648\nTop=2147483647\nWidth=2147483647\n"
                       "Height=-5\n"));
    TformMain form(settings.path(), testing::FakeWindowServices().services());
    EXPECT_EQ(historyItems(form), QStringList({"a", "b"}));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(screen.intersects(form.geometry()));
    EXPECT_LE(form.width(), screen.width());
    EXPECT_EQ(form.height(), form.minimumHeight());
}

TEST(SettingsFileAbsurdValues, PlacementKeepsWindowsWhollyOnAScreenAndCentresLostOnes) {
    // Available areas: the first screen has a panel along its bottom.
    const QList<QRect> screens = {{0, 0, 1920, 1050}, {1920, 0, 1280, 1024}};
    const QRect primary = screens[0];
    const QSize minimum(500, 300);
    struct Case {
        qint64 left, top, width, height;
        QRect expected;
    };
    const Case cases[] = {
        {40, 30, 640, 420, {40, 30, 640, 420}},
        {1280, 630, 640, 420, {1280, 630, 640, 420}},  // touching the corner of the area
        {3000, 900, 640, 420, {2560, 604, 640, 420}},  // mostly on the second screen
        {1700, 100, 640, 420, {1920, 100, 640, 420}},  // more on the second than the first
        {1500, 100, 640, 420, {1280, 100, 640, 420}},  // more on the first
        {-600, 100, 640, 420, {0, 100, 640, 420}},     // 40 pixels still show
        {100, 800, 640, 420, {100, 630, 640, 420}},    // partly under the panel
        {-640, 100, 640, 420, {640, 315, 640, 420}},   // wholly left of every screen
        {3200, 0, 640, 420, {640, 315, 640, 420}},     // right of the second screen
        {100, 1100, 640, 420, {640, 315, 640, 420}},   // below both screens
        {100, 100, 100, 100, {100, 100, 500, 300}},    // below the minimum size
        {0, 0, 2147483647, 2147483647, {0, 0, 1920, 1050}},
        {2147483647, -2147483648LL, 640, 420, {640, 315, 640, 420}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.left << "," << c.top << " " << c.width << "x" << c.height);
        EXPECT_EQ(PlaceWindow(c.left, c.top, c.width, c.height, minimum, screens, primary),
                  c.expected);
    }
    // At 1.5 times, a 1920 x 1080 screen is 1280 x 720 device-independent pixels: bounds saved
    // at 1.0 are pulled onto it, and shrunk to it when larger.
    const QList<QRect> scaled = {{0, 0, 1280, 690}};
    EXPECT_EQ(PlaceWindow(1000, 500, 712, 394, minimum, scaled, scaled[0]),
              QRect(568, 296, 712, 394));
    EXPECT_EQ(PlaceWindow(200, 100, 1600, 900, minimum, scaled, scaled[0]), QRect(0, 0, 1280, 690));
}

// Set by the test below for the copy of this program it starts at 1.5 times.
const char* const ExpectedScaleVariable = "HOPLARK_EXPECT_SCALE";

TEST(SavedWindowPosition, PartlyOffTheScreenIsPulledWhollyOntoIt) {
    TempSettings settings;
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QString expectedScale = qEnvironmentVariable(ExpectedScaleVariable);
    if (!expectedScale.isEmpty()) {
        EXPECT_DOUBLE_EQ(screen->devicePixelRatio(), expectedScale.toDouble());
    }
    const QRect area = screen->availableGeometry();
    // Saved where a larger or unscaled screen had room: hanging over the right and bottom edges.
    settings.write(QStringLiteral("[Position]\nLeft=%1\nTop=%2\nWidth=500\nHeight=300\n")
                       .arg(area.right() - 200)
                       .arg(area.bottom() - 100));
    TformMain form(settings.path(), testing::FakeWindowServices().services());
    const QRect placed = form.geometry();
    EXPECT_TRUE(area.contains(placed))
        << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
    EXPECT_EQ(placed.size(), QSize(500, 300));
    EXPECT_EQ(placed.bottomRight(), area.bottomRight());
}

TEST(SavedWindowPosition, PartlyOffTheScreenIsPulledOntoItAtOneAndAHalfTimes) {
    QProcess scaled;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1.5"));
    environment.insert(QString::fromLatin1(ExpectedScaleVariable), QStringLiteral("1.5"));
    scaled.setProcessEnvironment(environment);
    scaled.setProcessChannelMode(QProcess::MergedChannels);
    scaled.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral(
                     "--gtest_filter=SavedWindowPosition.PartlyOffTheScreenIsPulledWhollyOntoIt")});
    ASSERT_TRUE(scaled.waitForFinished(120000));
    const QString output = QString::fromUtf8(scaled.readAll());
    EXPECT_EQ(scaled.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(SettingsFileAbsurdValues, AnEchoSizeThatCannotBeSentIsReportedOnceAndReplaced) {
    struct Case {
        const char* saved;
        qint16 used;
        bool reported;
    };
    const Case cases[] = {
        {"100", 100, false}, {"0", 0, false},     {"65507", qint16(65507), false},
        {"-1", 56, true},    {"65508", 56, true}, {"2147483647", 56, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.saved);
        TempSettings settings;
        settings.write(QStringLiteral("[Advanced]\nPacketSize=") + QLatin1String(c.saved));
        testing::FakeWindowServices services;
        TformMain form(settings.path(), services.services());
        EXPECT_EQ(form.PacketSize, c.used);
        form.ShowStartupError();
        form.ShowStartupError();
        ASSERT_EQ(services.boxes->errors.size(), c.reported ? 1 : 0);
        if (c.reported) {
            EXPECT_TRUE(services.boxes->errors[0].contains(QLatin1String(c.saved)));
            EXPECT_TRUE(services.boxes->errors[0].contains(QLatin1String("65507")));
        }
    }
}

TEST(SettingsFileUnreadableAtStart, IsReportedOnceAndLeftAsItWas) {
    TempSettings settings;
    const QByteArray old = "[Warnings]\nWARNINGSPEED=123\n";
    writeFileBytes(settings.path(), old);
    ASSERT_EQ(chmod(QFile::encodeName(settings.path()).constData(), 0200), 0);
    testing::FakeWindowServices services;
    {
        testing::ScopedFilePermissionsEnforced enforced;
        TformMain form(settings.path(), services.services());
        EXPECT_EQ(form.displayOptions().WarningSpeed, 200);
        form.ShowStartupError();
        ASSERT_EQ(services.boxes->errors.size(), 1);
        EXPECT_TRUE(services.boxes->errors[0].contains(settings.path()));
        EXPECT_NO_THROW(form.FormDestroy());
    }
    chmod(QFile::encodeName(settings.path()).constData(), 0600);
    EXPECT_EQ(fileBytes(settings.path()), old);
    EXPECT_EQ(services.boxes->errors.size(), 1);
}

TEST(SettingsLocationRule, PicksOverrideThenExecutableFolderThenXdg) {
    struct Case {
        QString overridePath, xdg;
        bool exeWritable;
        QString expected;
    };
    const Case cases[] = {
        {"/tmp/x.ini", "", true, "/tmp/x.ini"},
        {"", "/xdg", true, "/opt/hoplark/Hoplark.INI"},
        {"", "/xdg", false, "/xdg/hoplark/Hoplark.INI"},
        {"", "", false, "/home/u/.config/hoplark/Hoplark.INI"},
        {"", "relative", false, "/home/u/.config/hoplark/Hoplark.INI"},
    };
    for (const Case& c : cases) {
        SettingsLocation location{c.overridePath, "/opt/hoplark", c.xdg, "/home/u",
                                  [&](const QString&) { return c.exeWritable; }};
        EXPECT_EQ(location.resolve(), c.expected);
    }
}

}  // namespace
}  // namespace hoplark
