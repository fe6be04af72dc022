// Recordings made by the real program on a real router chain: reopened they give the table the
// trace printed, and a trace killed outright leaves a file with every finished round.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "record/RecordingError.h"
#include "record/RecordingReader.h"
#include "support/NetnsChain.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

class RecordingEndToEnd : public testing::Test {
protected:
    QStringList inClient(const test::NetnsChain& chain, const QStringList& arguments) const {
        return QStringList{QStringLiteral("netns"), QStringLiteral("exec"),
                           QString::fromStdString(chain.clientNamespace()), program_,
                           QStringLiteral("--report")} +
               arguments;
    }

    // Runs the program to its end; returns its standard output.
    QString run(const QStringList& ipArguments, int* exitCode) const {
        QProcess process;
        process.start(QStringLiteral("ip"), ipArguments);
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
        }
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (*exitCode != 0) ADD_FAILURE() << err.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    static QStringList tableLines(const QString& text) {
        // The table follows the first empty line.
        return text.section(QStringLiteral("\n\n"), 1).split(u'\n');
    }

    QTemporaryDir directory_;
    QString program_ = QStringLiteral(HOPLARK_BINARY_DIR "/hoplark");
    std::map<std::string, std::string> names_ = {{"10.99.0.2", "router1.chain"},
                                                 {"10.99.2.2", "target.chain"}};
};

TEST_F(RecordingEndToEnd, RecordedTraceReopensToTheTableItPrinted) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain({.routers = 2,
                            .silentRouters = {2},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .returnDelays = {},
                            .hostNames = names_});
    const QString target = QString::fromStdString(chain.targetAddress());
    const QString file = directory_.filePath(QStringLiteral("chain.hoplark"));

    for (const char* format : {"json", "text"}) {
        SCOPED_TRACE(format);
        QFile::remove(file);
        int status = -1;
        const QString live =
            run(inClient(chain, {target, "--count", "4", "--delay", "0.1", "--samples", "3",
                                 "--timeout", "500", "--format", format, "--record", file}),
                &status);
        ASSERT_EQ(status, 0);
        // Reopened anywhere: no namespace, no probe.
        QProcess replay;
        replay.start(program_, {"--report", "--from", file, "--samples", "3", "--format", format});
        ASSERT_TRUE(replay.waitForFinished(60000));
        ASSERT_EQ(replay.exitCode(), 0) << replay.readAllStandardError().toStdString();
        const QString stored = QString::fromUtf8(replay.readAllStandardOutput());

        if (QLatin1String(format) == QLatin1String("json")) {
            const QJsonObject a = QJsonDocument::fromJson(live.toUtf8()).object();
            const QJsonObject b = QJsonDocument::fromJson(stored.toUtf8()).object();
            EXPECT_EQ(b["hops"], a["hops"]);
            for (const char* key : {"target", "address", "host_name", "rounds", "destination_hop",
                                    "source_address", "started_utc", "delay_ms", "version"})
                EXPECT_EQ(b[QLatin1String(key)], a[QLatin1String(key)]) << key;
            EXPECT_EQ(a["rounds"].toInt(), 4);
            EXPECT_EQ(a["source_address"].toString(), QStringLiteral("10.99.0.1"));
            EXPECT_EQ(a["hops"].toArray().size(), 3);
            EXPECT_TRUE(a["started_utc"].toString().endsWith(u'Z')) << live;
        } else {
            EXPECT_EQ(tableLines(stored), tableLines(live)) << live << stored;
        }
    }
    const LoadedRecording loaded = RecordingReader::load(file);
    EXPECT_EQ(loaded.header.target, target);
    EXPECT_EQ(loaded.header.delayMs, 100);
    EXPECT_EQ(loaded.state.HopList.at(0).DNSName, QStringLiteral("router1.chain"));
}

TEST_F(RecordingEndToEnd, KilledTraceLeavesEveryFinishedRound) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain({.routers = 3,
                            .silentRouters = {},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .returnDelays = {},
                            .hostNames = names_});
    const QString target = QString::fromStdString(chain.targetAddress());
    const QString file = directory_.filePath(QStringLiteral("killed.hoplark"));

    QProcess process;
    process.start(QStringLiteral("ip"),
                  inClient(chain, {target, "--count", "1000", "--delay", "0.2", "--record", file}));
    ASSERT_TRUE(process.waitForStarted());
    // `ip netns exec` becomes the program, so its process id is the trace's.
    int seen = 0;
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + 60000;
    while (seen < 5 && QDateTime::currentMSecsSinceEpoch() < deadline) {
        QThread::msleep(100);
        try {
            seen = RecordingReader::load(file).state.SamplesTaken;
        } catch (const RecordingError&) {
            // Not created yet.
        }
    }
    ASSERT_GE(seen, 5);
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);

    const LoadedRecording loaded = RecordingReader::load(file);
    const int rounds = loaded.state.SamplesTaken;
    EXPECT_GE(rounds, seen);
    ASSERT_EQ(loaded.state.HopList.count(), 4);
    // Every round before the last one stored has all four hops' answers.
    for (const THostInfo& hop : loaded.state.HopList) {
        SCOPED_TRACE(hop.Hop);
        ASSERT_GE(hop.Samples.size(), static_cast<size_t>(rounds - 1));
        for (int r = 1; r < rounds; ++r)
            EXPECT_EQ(hop.Samples[static_cast<size_t>(r - 1)].state, SampleState::Answered)
                << "round " << r;
        EXPECT_EQ(hop.LostCount, 0);
    }
    // The file is still a sound database after the kill.
    QProcess check;
    check.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-readonly"), file, QStringLiteral("PRAGMA integrity_check")});
    if (check.waitForStarted(5000) && check.waitForFinished(30000)) {
        EXPECT_EQ(QString::fromUtf8(check.readAllStandardOutput()).trimmed(), "ok");
    }
}

}  // namespace
}  // namespace hoplark
