#pragma once

// The real program in report mode, run as a user runs it: inside a chain's client namespace,
// as root or as nobody.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "support/NetnsChain.h"

namespace hoplark::test {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

inline ProgramRun runProgram(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The program, copied where the unprivileged user can run it whatever the build folder's
// permissions are.
class ReportProgram {
public:
    ReportProgram() {
        EXPECT_TRUE(directory_.isValid());
        QFile::setPermissions(directory_.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                  QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                  QFileDevice::ExeGroup);
        path_ = directory_.filePath(QStringLiteral("hoplark"));
        EXPECT_TRUE(QFile::copy(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"), path_));
        QFile::setPermissions(
            path_, QFile::permissions(path_) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    }

    const QString& path() const { return path_; }

    // Runs a report inside the client namespace, as root or as nobody.
    ProgramRun report(const NetnsChain& chain, const QStringList& arguments,
                      bool asNobody = false) const {
        QStringList command = {QStringLiteral("netns"), QStringLiteral("exec"),
                               QString::fromStdString(chain.clientNamespace())};
        if (asNobody) {
            command << QStringLiteral("setpriv") << QStringLiteral("--reuid=nobody")
                    << QStringLiteral("--regid=nogroup") << QStringLiteral("--clear-groups")
                    << QStringLiteral("--inh-caps=-all");
        }
        command << path_ << QStringLiteral("--report") << arguments;
        return runProgram(QStringLiteral("ip"), command);
    }

    static QJsonObject json(const ProgramRun& run) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError)
            << run.out.toStdString() << run.err.toStdString();
        return document.object();
    }

private:
    QTemporaryDir directory_;
    QString path_;
};

}  // namespace hoplark::test
