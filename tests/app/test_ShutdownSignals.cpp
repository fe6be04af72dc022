// The program as a desktop or a terminal ends it: a real child process and real signals.
#include <gtest/gtest.h>
#include <signal.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <chrono>

#include "support/TempSettings.h"

namespace hoplark {
namespace {

const QString Program = QStringLiteral(HOPLARK_BINARY_DIR "/hoplark");

// True once the process has its handler for `signal` installed (its SigCgt mask says so), so a
// signal sent from then on is the program's to handle.
bool waitUntilCaught(qint64 pid, int signal) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (!line.startsWith("SigCgt:")) continue;
                const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
                if (mask & (quint64(1) << (signal - 1))) return true;
            }
        }
        QThread::msleep(20);
    }
    return false;
}

struct Stopped {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
};

Stopped stopWith(QProcess& process, int signal, int settleMs) {
    Stopped result;
    if (!waitUntilCaught(process.processId(), signal)) return result;
    QThread::msleep(settleMs);
    ::kill(pid_t(process.processId()), signal);
    result.finished = process.waitForFinished(20000);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    if (process.exitStatus() == QProcess::NormalExit) result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    return result;
}

TEST(ShutdownSignals, CloseTheWindowAsExitDoesAndSaveTheSettings) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        testing::TempSettings settings;
        settings.write(QStringLiteral("[History]\nCount=1\nItem0=keep.example\n[Mine]\nA=1\n"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(Program, {QStringLiteral("--settings"), settings.path()});
        ASSERT_TRUE(process.waitForStarted());

        const Stopped stopped = stopWith(process, signal, 700);
        ASSERT_TRUE(stopped.finished);
        EXPECT_EQ(stopped.exitCode, 128 + signal);
        const QString written = settings.read();
        // Written at exit: keys the old file did not have are there now, and nothing is lost.
        EXPECT_TRUE(written.contains(QStringLiteral("[Position]"))) << written.toStdString();
        EXPECT_TRUE(written.contains(QStringLiteral("TraceDelay=15 Seconds")));
        EXPECT_TRUE(written.contains(QStringLiteral("Item0=keep.example")));
        EXPECT_TRUE(written.contains(QStringLiteral("[Mine]\nA=1")));
    }
}

TEST(ShutdownSignals, StopAReportAndStillPrintTheRoundsTaken) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        QProcess process;
        process.start(Program, {"--report", "127.0.0.1", "--count", "100", "--delay", "1 Second",
                                "--no-dns", "--format", "json"});
        ASSERT_TRUE(process.waitForStarted());

        const Stopped stopped = stopWith(process, signal, 2500);
        ASSERT_TRUE(stopped.finished);
        EXPECT_EQ(stopped.exitCode, 128 + signal);
        const QJsonObject report = QJsonDocument::fromJson(stopped.out).object();
        ASSERT_FALSE(report.isEmpty()) << stopped.out.toStdString();
        EXPECT_GE(report[QStringLiteral("rounds")].toInt(), 2);
        EXPECT_LT(report[QStringLiteral("rounds")].toInt(), 100);
        EXPECT_FALSE(report[QStringLiteral("hops")].toArray().isEmpty());
    }
}

}  // namespace
}  // namespace hoplark
