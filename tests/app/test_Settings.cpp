#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>

#include "app/MainWindow.h"
#include "app/SettingsFile.h"
#include "app/SettingsLocation.h"
#include "app/WindowFakes.h"
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
                            "ShowCurrentTime"}) {
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
