// Where the window's recordings go and how the folder is kept under its size cap.
#include <gtest/gtest.h>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "record/RecordingFolder.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

void writeFile(const QString& path, qint64 bytes, const QDateTime& modified) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(bytes, 'x'));
    file.flush();
    file.setFileTime(modified, QFileDevice::FileModificationTime);
}

TEST(RecordingFolder, NamesCarryTheTargetAndStartTimeAndNeverReuseAFile) {
    QTemporaryDir temp;
    const RecordingFolder folder(temp.filePath(QStringLiteral("a/b/recordings")));
    const qint64 started = QDateTime(QDate(2026, 3, 4), QTime(3, 5, 6)).toMSecsSinceEpoch() * 1000;
    const QString first = folder.newRecordingPath(QStringLiteral("host/../x y"), started);
    EXPECT_TRUE(QDir(folder.path()).exists());
    EXPECT_EQ(QFileInfo(first).fileName(),
              QStringLiteral("host_.._x_y_2026-03-04_03-05-06.hoplark"));
    writeFile(first, 1, QDateTime::currentDateTime());
    const QString second = folder.newRecordingPath(QStringLiteral("host/../x y"), started);
    EXPECT_EQ(QFileInfo(second).fileName(),
              QStringLiteral("host_.._x_y_2026-03-04_03-05-06-2.hoplark"));
    EXPECT_EQ(
        QFileInfo(folder.newRecordingPath(QStringLiteral(".hidden"), started)).fileName().front(),
        u'_');
}

TEST(RecordingFolder, SizeCapRemovesTheOldestFirstAndSparesTheCurrentOne) {
    QTemporaryDir temp;
    const RecordingFolder folder(temp.path());
    const QDateTime now = QDateTime::currentDateTime();
    auto path = [&](const char* name) { return temp.filePath(QString::fromLatin1(name)); };
    writeFile(path("oldest.hoplark"), 400, now.addDays(-3));
    writeFile(path("oldest.hoplark-wal"), 100, now.addDays(-3));
    writeFile(path("older.hoplark"), 400, now.addDays(-2));
    writeFile(path("current.hoplark"), 400, now.addDays(-4));
    writeFile(path("newest.hoplark"), 400, now.addDays(-1));
    writeFile(path("notes.txt"), 5000, now.addDays(-5));
    EXPECT_EQ(folder.totalBytes(), 1700);

    EXPECT_EQ(folder.enforceCap(1000, path("current.hoplark")), 2);
    EXPECT_FALSE(QFile::exists(path("oldest.hoplark")));
    EXPECT_FALSE(QFile::exists(path("oldest.hoplark-wal")));
    EXPECT_FALSE(QFile::exists(path("older.hoplark")));
    EXPECT_TRUE(QFile::exists(path("current.hoplark")));
    EXPECT_TRUE(QFile::exists(path("newest.hoplark")));
    EXPECT_TRUE(QFile::exists(path("notes.txt")));
    EXPECT_EQ(folder.enforceCap(1000, path("current.hoplark")), 0);
}

}  // namespace
}  // namespace hoplark
