// What goes wrong with files: damaged or foreign ones are refused and left alone; a disk that
// fills up or a folder that cannot be written stops the recording, never the trace.
#include <sys/mount.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QRandomGenerator>

#include "record/RecordingError.h"
#include "record/RecordingFixture.h"
#include "record/RecordingSchema.h"
#include "record/SqliteDatabase.h"
#include "support/NetnsChain.h"

namespace hoplark::testing {
namespace {

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

class RecordingFailures : public RecordingTest {
protected:
    // A small tmpfs over a folder of the temporary folder; needs root.
    bool mountTmpfs(const QString& dir, const char* options) {
        QDir().mkpath(dir);
        if (::mount("tmpfs", dir.toUtf8().constData(), "tmpfs", 0, options) != 0) return false;
        mounted_.push_back(dir);
        return true;
    }
    ~RecordingFailures() override {
        recorder->finish();
        for (const QString& dir : mounted_)
            ::umount2(dir.toUtf8().constData(), MNT_DETACH);
    }
    void requireRoot() {
        if (geteuid() != 0) {
            if (test::NetnsRequired()) FAIL() << "needs root to mount a tmpfs";
            GTEST_SKIP() << "needs root to mount a tmpfs";
        }
    }
    std::vector<QString> mounted_;
};

TEST_F(RecordingFailures, DamagedOrForeignFilesAreRefusedAndLeftUntouched) {
    // A real recording to damage.
    start();
    answerRound(0, 4);
    recorder->finish();
    QFile good(recordingPath);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();

    struct Case {
        const char* name;
        QByteArray content;
        RecordingError::Kind kind;
    };
    QByteArray random(8192, '\0');
    QRandomGenerator generator(42);
    for (char& c : random)
        c = static_cast<char>(generator.bounded(256));
    const std::vector<Case> cases = {
        {"random.hoplark", random, RecordingError::Kind::NotARecording},
        {"empty.hoplark", QByteArray(), RecordingError::Kind::NotARecording},
        {"text.hoplark", QByteArray("Target Name: N/A\r\n"), RecordingError::Kind::NotARecording},
        {"truncated.hoplark", bytes.left(bytes.size() / 2), RecordingError::Kind::Corrupt},
        {"header-only.hoplark", bytes.left(100), RecordingError::Kind::Corrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.filePath(QString::fromLatin1(c.name));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        const QByteArray before = digest(path);
        try {
            RecordingReader::load(path);
            ADD_FAILURE() << "loaded";
        } catch (const RecordingError& error) {
            // A truncated file may look like any damage SQLite can report.
            if (c.kind == RecordingError::Kind::NotARecording) {
                EXPECT_EQ(error.kind(), c.kind);
            }
            EXPECT_TRUE(error.message().contains(path)) << error.message().toStdString();
        }
        EXPECT_EQ(digest(path), before);
        EXPECT_FALSE(QFileInfo::exists(path + "-wal"));
        EXPECT_FALSE(QFileInfo::exists(path + "-shm"));
    }
}

TEST_F(RecordingFailures, ForeignDatabaseAndNewerVersionAreRefused) {
    const QString foreign = folder.filePath(QStringLiteral("foreign.db"));
    {
        SqliteDatabase db(foreign, SqliteDatabase::Mode::ReadWriteCreate);
        db.exec("CREATE TABLE probe (x); INSERT INTO probe VALUES (1)");
    }
    const QString newer = folder.filePath(QStringLiteral("newer.hoplark"));
    {
        SqliteDatabase db(newer, SqliteDatabase::Mode::ReadWriteCreate);
        RecordingSchema::create(db);
        db.exec("PRAGMA user_version = 99");
    }
    for (const auto& [path, kind] : {std::pair{foreign, RecordingError::Kind::NotARecording},
                                     std::pair{newer, RecordingError::Kind::TooNew}}) {
        const QByteArray before = digest(path);
        try {
            RecordingReader::load(path);
            ADD_FAILURE() << "loaded " << path.toStdString();
        } catch (const RecordingError& error) {
            EXPECT_EQ(error.kind(), kind);
        }
        EXPECT_EQ(digest(path), before);
    }
    EXPECT_THROW(RecordingReader::load(folder.filePath("missing.hoplark")), RecordingError);
}

TEST_F(RecordingFailures, FullDiskStopsTheRecordingWithOneMessageAndTheTraceGoesOn) {
    requireRoot();
    const QString dir = folder.filePath(QStringLiteral("small"));
    // Room for the log's index and a few dozen rounds.
    ASSERT_TRUE(mountTmpfs(dir, "size=256k"));
    recordingPath = dir + QStringLiteral("/full.hoplark");
    start();
    int rounds = 0;
    for (; rounds < 400 && failures.empty(); ++rounds) {
        const size_t from = launcher.launched.size();
        if (rounds > 0) session.tmrTraceTimer();
        answerRound(from, 30);
        recorder->drain();
        QCoreApplication::sendPostedEvents();
    }
    ASSERT_EQ(failures.size(), 1u) << "after " << rounds << " rounds";
    EXPECT_TRUE(failures.front().contains(QStringLiteral("full")))
        << failures.front().toStdString();
    EXPECT_TRUE(session.isTracing());
    EXPECT_TRUE(recorder->currentPath().isEmpty());
    // More rounds neither fail again nor stop the trace.
    for (int more = 0; more < 3; ++more) {
        const size_t from = launcher.launched.size();
        session.tmrTraceTimer();
        answerRound(from, 30);
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(failures.size(), 1u);
    EXPECT_EQ(session.state().SamplesTaken, rounds + 3);
    // What was written before the disk filled still opens.
    const LoadedRecording loaded = RecordingReader::load(recordingPath);
    EXPECT_GT(loaded.state.SamplesTaken, 0);
    EXPECT_LT(loaded.state.SamplesTaken, rounds);
}

TEST_F(RecordingFailures, DiskTooFullToStartLeavesNoBrokenFile) {
    requireRoot();
    const QString dir = folder.filePath(QStringLiteral("tiny"));
    ASSERT_TRUE(mountTmpfs(dir, "size=64k"));
    recordingPath = dir + QStringLiteral("/trace.hoplark");
    start();
    answerRound(0, 4);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(session.isTracing());
    EXPECT_FALSE(QFileInfo::exists(recordingPath));
    EXPECT_FALSE(QFileInfo::exists(recordingPath + "-wal"));
}

TEST_F(RecordingFailures, FolderThatCannotBeWrittenStopsTheRecordingNotTheTrace) {
    requireRoot();
    const QString dir = folder.filePath(QStringLiteral("readonly"));
    ASSERT_TRUE(mountTmpfs(dir, "size=64k"));
    ASSERT_EQ(
        ::mount("tmpfs", dir.toUtf8().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
    recordingPath = dir + QStringLiteral("/trace.hoplark");
    start();
    answerRound(0, 4);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures.front().contains(recordingPath)) << failures.front().toStdString();
    EXPECT_TRUE(session.isTracing());
    EXPECT_EQ(session.state().DestinationHop, 4);
    EXPECT_FALSE(QFileInfo::exists(recordingPath));
}

}  // namespace
}  // namespace hoplark::testing
