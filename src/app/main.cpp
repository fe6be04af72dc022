#include <QApplication>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/HoplarkIcon.h"
#include "app/MainWindow.h"
#include "app/RecordingMenu.h"
#include "app/ReportMode.h"
#include "app/ServeMode.h"
#include "app/SettingsLocation.h"
#include "app/ShutdownSignals.h"
#include "app/WindowServices.h"
#include "probe/EchoService.h"

namespace {

int runWindow(int argc, char** argv, const QString& settingsOverride, const QString& recordingPath,
              std::shared_ptr<hoplark::EchoService> echo) {
    QApplication application(argc, argv);
    // One look on every desktop: the window's sizes are laid out for it, whatever theme the
    // desktop would pick.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setApplicationName(QStringLiteral("Hoplark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Hoplark"));
    // Lets the desktop (a Wayland compositor in particular) match the window to its menu entry.
    QGuiApplication::setDesktopFileName(hoplark::DesktopId);
    QApplication::setWindowIcon(hoplark::hoplarkIcon());
    const QString settingsPath =
        hoplark::SettingsLocation::fromEnvironment(settingsOverride).resolve();
    hoplark::TformMain formMain(settingsPath, hoplark::WindowServices::system(std::move(echo)));
    hoplark::ShutdownSignals shutdown;
    QObject::connect(&shutdown, &hoplark::ShutdownSignals::received, &formMain, [&formMain] {
        // Open dialogs and boxes run event loops of their own; they go first, then the window
        // closes as by File > Exit, which writes the settings.
        for (QWidget* modal = QApplication::activeModalWidget(); modal;) {
            if (!modal->close()) break;
            QWidget* next = QApplication::activeModalWidget();
            if (next == modal) break;
            modal = next;
        }
        formMain.closeOnSignal();
        QCoreApplication::quit();
    });
    formMain.show();
    formMain.ShowStartupError(recordingPath.isEmpty() ? hoplark::TformMain::StartupView::Trace
                                                      : hoplark::TformMain::StartupView::Recording);
    if (!recordingPath.isEmpty() && !shutdown.caught())
        formMain.recordingMenu().openRecording(recordingPath);
    // A signal that came while a start-up box was open has closed the window already.
    const int status = shutdown.caught() ? 0 : application.exec();
    return shutdown.caught() ? hoplark::ShutdownSignals::exitStatusFor(shutdown.caught()) : status;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything else, so that a logout or Ctrl+C can no longer end the process unsaved.
    hoplark::ShutdownSignals::install();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const hoplark::CommandLine command = hoplark::ParseCommandLine(arguments);

    switch (command.action) {
        case hoplark::CommandLine::Action::ShowVersion:
            std::fputs(qPrintable(hoplark::VersionText()), stdout);
            return 0;
        case hoplark::CommandLine::Action::ShowHelp:
            std::fputs(qPrintable(hoplark::UsageText()), stdout);
            return 0;
        case hoplark::CommandLine::Action::Invalid:
            std::fprintf(stderr, "hoplark: %s\n%s", qPrintable(command.error),
                         qPrintable(hoplark::UsageText()));
            return 2;
        case hoplark::CommandLine::Action::RunWindow:
        case hoplark::CommandLine::Action::Report:
        case hoplark::CommandLine::Action::Serve:
            break;
    }
    // The echo facility is bound before any other thread exists: a raw socket's privilege is
    // dropped by the binding thread, and threads started earlier would keep theirs.
    auto echo = std::make_shared<hoplark::EchoService>();
    if (command.action == hoplark::CommandLine::Action::RunWindow)
        return runWindow(argc, argv, command.settingsPath, command.recordingPath, std::move(echo));
    QCoreApplication application(argc, argv);
    if (command.action == hoplark::CommandLine::Action::Serve)
        return hoplark::RunServe(command.serveArguments, echo, stdout, stderr);
    return hoplark::RunReport(command.reportArguments, echo, stdout, stderr);
}
