#pragma once

#include <QString>
#include <QStringList>

namespace hoplark {

// What the command line asks for.
struct CommandLine {
    enum class Action { RunWindow, ShowVersion, ShowHelp, Report, Serve, Invalid };
    Action action = Action::RunWindow;
    QString settingsPath;         // --settings PATH; empty means the default location
    QString recordingPath;        // a recording to show in the window instead of a live trace
    QStringList reportArguments;  // everything after --report, for the report mode
    QStringList serveArguments;   // everything after --serve, for the serving mode
    QString error;                // for Invalid
};

// Reads the arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);

// The program's version, as every place that shows one gives it ("1.0.2").
QString ProgramVersion();
// What --version prints: "Hoplark 1.0.2" and a line end.
QString VersionText();

// The usage text for --help.
QString UsageText();

}  // namespace hoplark
