#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "app/CommandLine.h"

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
        default:
            std::fputs("hoplark: the window is not built yet\n", stderr);
            return 1;
    }
}
