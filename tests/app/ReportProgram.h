#pragma once

// The real program in report mode, run as a user runs it: inside a chain's client namespace,
// as root or as nobody.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "app/NobodyProgram.h"
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

// The program in report mode, run inside a chain's client namespace.
class ReportProgram {
public:
    ReportProgram() { EXPECT_TRUE(program_.isValid()); }

    const QString& path() const { return program_.path(); }

    // Runs a report inside the client namespace, as root or as nobody.
    ProgramRun report(const NetnsChain& chain, const QStringList& arguments,
                      bool asNobody = false) const {
        return runProgram(
            QStringLiteral("ip"),
            program_.inNamespace(chain.clientNamespace(),
                                 QStringList{QStringLiteral("--report")} + arguments, asNobody));
    }

    static QJsonObject json(const ProgramRun& run) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError)
            << run.out.toStdString() << run.err.toStdString();
        return document.object();
    }

private:
    NobodyProgram program_;
};

}  // namespace hoplark::test
