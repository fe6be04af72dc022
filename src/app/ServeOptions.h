#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/ReportOptions.h"

namespace hoplark {

// The options of `hoplark --serve [ADDRESS:]PORT --target T ... [options]`.
struct ServeOptions {
    // The port served when none is given.
    static constexpr quint16 DefaultPort = 9787;
    // The statistics window when --samples is not given: a minute of rounds at the default
    // pace, so that a trace of weeks is measured over what happens now.
    static constexpr qint32 DefaultSamples = 60;
    // The recordings' folder cap when --record-max-mb is not given, as the window's.
    static constexpr qint32 DefaultRecordMaxMb = 1024;

    // Only this machine by default; all interfaces only when asked ("0.0.0.0:PORT", "[::]:PORT").
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = DefaultPort;
    // One entry per target, each with its trace options (the report's, target filled in).
    std::vector<ReportOptions> targets;
    bool showHelp = false;
    // --record-dir DIR: every target's trace is recorded there, a file per target and day,
    // the oldest removed when the folder passes recordMaxMb megabytes.
    QString recordDir;
    qint32 recordMaxMb = DefaultRecordMaxMb;
};

// The serving mode's options with the warnings to print first, or why they were refused.
struct ServeArguments {
    QStringList warnings;
    QString error;
    ServeOptions options;
};

// Reads the arguments that follow --serve, with any --targets file they name.
ServeArguments ParseServeArguments(const QStringList& arguments);

QString ServeUsageText();

}  // namespace hoplark
