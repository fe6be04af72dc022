#include "app/CommandLine.h"

namespace hoplark {

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--version")) {
            result.action = CommandLine::Action::ShowVersion;
            return result;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.action = CommandLine::Action::ShowHelp;
            return result;
        }
        if (argument == QLatin1String("--report")) {
            result.action = CommandLine::Action::Report;
            result.reportArguments = arguments.mid(i + 1);
            return result;
        }
        if (argument == QLatin1String("--serve")) {
            result.action = CommandLine::Action::Serve;
            result.serveArguments = arguments.mid(i + 1);
            return result;
        }
        if (argument == QLatin1String("--settings")) {
            if (i + 1 >= arguments.size()) {
                result.action = CommandLine::Action::Invalid;
                result.error = QStringLiteral("--settings needs a file path");
                return result;
            }
            result.settingsPath = arguments[++i];
            continue;
        }
        if (!argument.startsWith(u'-') && result.recordingPath.isEmpty()) {
            result.recordingPath = argument;
            continue;
        }
        result.action = CommandLine::Action::Invalid;
        result.error = QStringLiteral("unknown argument: %1").arg(argument);
        return result;
    }
    return result;
}

QString ProgramVersion() {
    return QStringLiteral(HOPLARK_VERSION);
}

QString VersionText() {
    return QStringLiteral("Hoplark ") + ProgramVersion() + u'\n';
}

QString UsageText() {
    return QStringLiteral(
        "Usage: hoplark [--settings PATH] [RECORDING.hoplark]\n"
        "       hoplark --report TARGET [options]   (see hoplark --report --help)\n"
        "       hoplark --serve [ADDRESS:]PORT --target TARGET ... [options]\n"
        "                                           (see hoplark --serve --help)\n"
        "       hoplark --version | --help\n"
        "\n"
        "Hoplark traces the route to a host round after round and graphs every hop's latency.\n"
        "  --settings PATH  keep the settings in PATH instead of Hoplark.INI\n"
        "  RECORDING        show a recorded trace instead of tracing\n");
}

}  // namespace hoplark
