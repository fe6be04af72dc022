#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/SettingsLocation.h"

namespace {

int runWindow(int argc, char** argv, const QString& settingsOverride) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hoplark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Hoplark"));
    const QString settingsPath =
        hoplark::SettingsLocation::fromEnvironment(settingsOverride).resolve();
    hoplark::TformMain formMain(settingsPath);
    formMain.show();
    return application.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const hoplark::CommandLine command = hoplark::ParseCommandLine(arguments);

    switch (command.action) {
        case hoplark::CommandLine::Action::ShowVersion:
            std::printf("Hoplark %s\n", HOPLARK_VERSION);
            return 0;
        case hoplark::CommandLine::Action::ShowHelp:
            std::fputs(qPrintable(hoplark::UsageText()), stdout);
            return 0;
        case hoplark::CommandLine::Action::Invalid:
            std::fprintf(stderr, "hoplark: %s\n%s", qPrintable(command.error),
                         qPrintable(hoplark::UsageText()));
            return 2;
        case hoplark::CommandLine::Action::RunWindow:
            return runWindow(argc, argv, command.settingsPath);
        case hoplark::CommandLine::Action::Report:
            break;
    }
    std::fputs("hoplark: the report mode is not built yet\n", stderr);
    return 1;
}
