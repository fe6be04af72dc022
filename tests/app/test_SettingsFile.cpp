#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/IniDocument.h"
#include "app/SettingsFile.h"
#include "support/TempSettings.h"
#include "trace/HoplarkError.h"

namespace hoplark {
namespace {

using namespace Qt::Literals::StringLiterals;

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Damaged lines anywhere in the file: the keys around them are still read, and a write of one
// key brings every other byte back as it was.
TEST(SettingsFileDamage, UnreadableLinesCostNoKeysAndSurviveAWrite) {
    const QByteArray valid = "[History]\nCount=1\nItem0=alpha\n[Warnings]\nWARNINGSPEED=300\n";
    struct Case {
        const char* name;
        QByteArray content;
    };
    const Case cases[] = {
        {"garbage before the sections", "\x89PNG\r\n\x1a\n\xff\xfe garbage\n"_ba + valid},
        {"a NUL line between sections",
         "[History]\nCount=1\nItem0=alpha\nnul\0here=1\n[Warnings]\nWARNINGSPEED=300\n"_ba},
        {"stray lines without =",
         "stray text\n[History]\nCount=1\nno equals here\nItem0=alpha\n"
         "[unclosed\n[Warnings]\nWARNINGSPEED=300\n"_ba},
        {"keys before any section", "Count=9\n" + valid},
        {"CRLF line ends and a BOM",
         "\xEF\xBB\xBF[History]\r\nCount=1\r\nItem0=alpha\r\n"
         "[Warnings]\r\nWARNINGSPEED=300\r\n"_ba},
        {"blanks around names and a repeated section",
         "[History]\nCount=1\n[Warnings]\n  WARNINGSPEED = 300 \n[History]\nItem0=alpha\n"_ba},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::TempSettings settings;
        writeBytes(settings.path(), c.content);
        SettingsFile file(settings.path());
        EXPECT_FALSE(file.readFailed());
        EXPECT_EQ(file.ReadInteger("History", "Count", -1), 1);
        EXPECT_EQ(file.ReadString("History", "Item0", {}), QStringLiteral("alpha"));
        EXPECT_EQ(file.ReadInteger("Warnings", "WARNINGSPEED", -1), 300);

        // Rewriting the same value changes no byte but the line ends a file lacked.
        file.WriteInteger("Warnings", "WARNINGSPEED", 300);
        file.commit();
        const QByteArray written = readBytes(settings.path());
        const QByteArray original = c.content.endsWith('\n') ? c.content : c.content + '\n';
        if (!c.content.contains("WARNINGSPEED = 300")) {
            EXPECT_EQ(written, original);
        }
        SettingsFile again(settings.path());
        EXPECT_EQ(again.ReadString("History", "Item0", {}), QStringLiteral("alpha"));
        EXPECT_EQ(again.ReadInteger("Warnings", "WARNINGSPEED", -1), 300);
    }
}

TEST(SettingsFileDamage, NewKeysJoinTheirSectionAndNewSectionsGoAtTheEnd) {
    IniDocument document = IniDocument::parse("; note\n[A]\nx=1\n\n[B]\ny=2\n");
    ASSERT_TRUE(document.setValue("a", "z", "3"));
    ASSERT_TRUE(document.setValue("C", "w", "4"));
    ASSERT_TRUE(document.setValue("B", "Y", "5"));
    EXPECT_EQ(document.serialize(), "; note\n[A]\nx=1\nz=3\n\n[B]\nY=5\n\n[C]\nw=4\n");
}

TEST(SettingsFileDamage, LatinOneBytesAreReadAndWrittenBackAsTheyWere) {
    testing::TempSettings settings;
    writeBytes(settings.path(), "[History]\nCount=2\nItem0=caf\xE9\nItem1=na\xEFve\n"_ba);
    QString first, second;
    {
        SettingsFile file(settings.path());
        first = file.ReadString("History", "Item0", {});
        second = file.ReadString("History", "Item1", {});
        EXPECT_EQ(first, QStringLiteral("caf\u00E9"));
    }
    // The items change places, as after a history sort, and a UTF-8 one joins them.
    SettingsFile file(settings.path());
    file.WriteString("History", "Item0", second);
    file.WriteString("History", "Item1", first);
    file.WriteString("History", "Item2", QStringLiteral("\u00FCber"));
    file.commit();
    EXPECT_EQ(readBytes(settings.path()),
              "[History]\nCount=2\nItem0=na\xEFve\nItem1=caf\xE9\nItem2=\xC3\xBC"
              "ber\n"_ba);
}

// No value may end up as a section or key of its own, whatever control character it holds.
TEST(SettingsFileInjection, ValuesWithControlCharactersAreRefused) {
    const QString injected[] = {
        QStringLiteral("10.99.1.5\n[Advanced]\nPacketSize=3"),
        QStringLiteral("10.99.1.5\r[Advanced]\rPacketSize=3"),
        QStringLiteral("10.99.1.5\r\nPacketSize=3"),
        QString::fromUtf8("a\0b", 3),
        QStringLiteral("tab\there"),
        QStringLiteral("unit\x1Fsep"),
        QStringLiteral("del\x7F"),
    };
    for (const QString& value : injected) {
        SCOPED_TRACE(value.toStdString());
        testing::TempSettings settings;
        const QByteArray before = "[History]\nCount=1\nItem0=old\n";
        writeBytes(settings.path(), before);
        SettingsFile file(settings.path());
        EXPECT_FALSE(file.WriteString("History", "Item0", value));
        EXPECT_FALSE(file.WriteString("History", "Item1", value));
        file.commit();
        EXPECT_EQ(readBytes(settings.path()), before);
        SettingsFile again(settings.path());
        EXPECT_EQ(again.ReadString("History", "Item0", {}), QStringLiteral("old"));
        EXPECT_EQ(again.ReadString("Advanced", "PacketSize", "none"), QStringLiteral("none"));
    }
    // Names that would read back as something else are refused too.
    IniDocument document;
    EXPECT_FALSE(document.setValue("A]B", "k", "v"));
    EXPECT_FALSE(document.setValue("A", "k=v", "v"));
    EXPECT_FALSE(document.setValue("A", "[k]", "v"));
    EXPECT_FALSE(document.setValue("A", ";k", "v"));
    EXPECT_FALSE(document.setValue("A\n", "k", "v"));
    EXPECT_EQ(document.serialize(), QByteArray());
}

TEST(SettingsFileItems, ReadsOnlyTheItemsThatExistWhateverTheCount) {
    testing::TempSettings settings;
    writeBytes(settings.path(),
               "[History]\nitem2=c\nItem0=a\nItem01=no\nItem+1=no\nItem=no\nItem1=\n"
               "ITEM5=f\nItem2=dup\nItem2147483647=no\n");
    const SettingsFile file(settings.path());
    EXPECT_EQ(file.ReadStringList("History", "Item", 2147483647), QStringList({"a", "c", "f"}));
    EXPECT_EQ(file.ReadStringList("History", "Item", 3), QStringList({"a", "c"}));
    EXPECT_EQ(file.ReadStringList("History", "Item", 0), QStringList());
    EXPECT_EQ(file.ReadStringList("History", "Item", -5), QStringList());
}

// A history as long as any user could gather, between keys and comments of other programs and
// hand edits: every item comes back, every other line stays where it was, byte for byte.
TEST(SettingsFileItems, AHundredThousandItemsRoundTripAmongForeignLines) {
    constexpr int itemCount = 100000;
    const auto fileWith = [](const QStringList& items, const QByteArray& added) {
        QByteArray bytes = "; kept by hand\n[Other]\nForeign=1\n\n[History]\nCount="_ba +
                           QByteArray::number(items.size()) + '\n';
        for (qsizetype i = 0; i < items.size(); ++i) {
            bytes += "Item" + QByteArray::number(i) + '=' + items[i].toUtf8() + '\n';
            if (i % 1000 == 0)
                bytes +=
                    "; note " + QByteArray::number(i) + "\nTheirs" + QByteArray::number(i) + "=x\n";
        }
        bytes += added;
        bytes += "; after the items\n\n[Later]\nTheirsToo=y\n[History]\nItem0=shadowed\n";
        return bytes;
    };
    QStringList items;
    for (int i = 0; i < itemCount; ++i)
        items << QStringLiteral("host%1.example").arg(i);

    testing::TempSettings settings;
    writeBytes(settings.path(), fileWith(items, {}));
    QStringList reversed(items.rbegin(), items.rend());
    {
        SettingsFile file(settings.path());
        ASSERT_FALSE(file.readFailed());
        EXPECT_EQ(file.ReadInteger("History", "Count", 0), itemCount);
        ASSERT_EQ(file.ReadStringList("History", "Item", itemCount), items);
        EXPECT_EQ(file.ReadString("Other", "Foreign", {}), "1");
        EXPECT_EQ(file.ReadString("history", "theirs99000", {}), "x");
        // Written back in another order, as a sort does, with two items more.
        for (int i = 0; i < itemCount; ++i)
            ASSERT_TRUE(file.WriteString("History", QStringLiteral("Item%1").arg(i), reversed[i]));
        ASSERT_TRUE(file.WriteString("History", QStringLiteral("Item%1").arg(itemCount), "new1"));
        ASSERT_TRUE(
            file.WriteString("History", QStringLiteral("Item%1").arg(itemCount + 1), "new2"));
        file.WriteInteger("History", "Count", itemCount + 2);
        file.WriteString("Later", "Mine", "z");
        file.commit();
    }
    // The new items follow the last key of the first [History] block, in the order written.
    QStringList expectedItems = reversed;
    expectedItems << "new1"
                  << "new2";
    QByteArray expected = fileWith(reversed, "Item100000=new1\nItem100001=new2\n")
                              .replace("Count=100000", "Count=100002")
                              .replace("TheirsToo=y\n", "TheirsToo=y\nMine=z\n");
    EXPECT_TRUE(readBytes(settings.path()) == expected);
    const SettingsFile again(settings.path());
    EXPECT_EQ(again.ReadStringList("History", "Item", itemCount + 2), expectedItems);
}

struct LinkedSettings {
    QTemporaryDir repository;  // where the real file lives
    QTemporaryDir home;        // where the program looks, through a link
    QString target() const { return QDir(repository.path()).filePath("Hoplark.INI"); }
    QString link() const { return QDir(home.path()).filePath("Hoplark.INI"); }
};

TEST(SettingsFileLinks, AWriteGoesThroughTheLinkToItsTarget) {
    for (const bool relative : {false, true}) {
        for (const bool targetExists : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "relative " << relative << " exists " << targetExists);
            LinkedSettings dirs;
            if (targetExists) {
                writeBytes(dirs.target(), "; mine\n[Warnings]\nBADSPEED=600\n");
                ASSERT_EQ(chmod(QFile::encodeName(dirs.target()).constData(), 0640), 0);
            }
            const QString pointsAt =
                relative ? QDir(dirs.home.path()).relativeFilePath(dirs.target()) : dirs.target();
            ASSERT_EQ(symlink(QFile::encodeName(pointsAt).constData(),
                              QFile::encodeName(dirs.link()).constData()),
                      0);
            SettingsFile file(dirs.link());
            EXPECT_EQ(file.ReadInteger("Warnings", "BADSPEED", 500), targetExists ? 600 : 500);
            file.WriteInteger("Warnings", "WARNINGSPEED", 250);
            file.commit();

            EXPECT_TRUE(QFileInfo(dirs.link()).isSymLink());
            const QByteArray written = readBytes(dirs.target());
            EXPECT_TRUE(written.contains("WARNINGSPEED=250")) << written.toStdString();
            EXPECT_EQ(written.startsWith("; mine\n"), targetExists);
            EXPECT_EQ(QDir(dirs.repository.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
            EXPECT_EQ(
                QDir(dirs.home.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                1);
            if (targetExists) {
                struct stat status {};
                ASSERT_EQ(stat(QFile::encodeName(dirs.target()).constData(), &status), 0);
                EXPECT_EQ(status.st_mode & 0777, 0640u);
            }
        }
    }
}

// A file that is there but cannot be read whole is never replaced by what little was read.
TEST(SettingsFileUnreadable, IsReportedAndNeverWritten) {
    testing::TempSettings settings;
    {
        SCOPED_TRACE("a folder where the file should be");
        ASSERT_TRUE(QDir().mkpath(settings.path()));
        SettingsFile file(settings.path());
        EXPECT_TRUE(file.readFailed());
        file.WriteInteger("Warnings", "BADSPEED", 1);
        EXPECT_THROW(file.commit(), HoplarkError);
        EXPECT_TRUE(QFileInfo(settings.path()).isDir());
        QDir(settings.path()).removeRecursively();
    }
    {
        SCOPED_TRACE("a file without read permission");
        writeBytes(settings.path(), "[Warnings]\nBADSPEED=700\n");
        ASSERT_EQ(chmod(QFile::encodeName(settings.path()).constData(), 0200), 0);
        testing::ScopedFilePermissionsEnforced enforced;
        SettingsFile file(settings.path());
        EXPECT_TRUE(file.readFailed());
        EXPECT_FALSE(file.readError().isEmpty());
        file.WriteInteger("Warnings", "BADSPEED", 1);
        EXPECT_THROW(file.commit(), HoplarkError);
    }
    chmod(QFile::encodeName(settings.path()).constData(), 0600);
    EXPECT_EQ(readBytes(settings.path()), "[Warnings]\nBADSPEED=700\n");
    {
        SCOPED_TRACE("a missing file is no failure");
        QFile::remove(settings.path());
        SettingsFile file(settings.path());
        EXPECT_FALSE(file.readFailed());
    }
}

}  // namespace
}  // namespace hoplark
