#include "app/ServeOptions.h"

#include <QFile>
#include <QProcess>

#include "app/ArgumentReader.h"
#include "trace/IntegerText.h"

namespace hoplark {

namespace {

// The trace options every target takes (from the command line for all, or on its line of a
// targets file), with whether each takes a value. They mean what they mean in a report.
struct TraceOption {
    const char* name;
    bool takesValue;
};
constexpr TraceOption TraceOptions[] = {{"--delay", true},
                                        {"-d", true},
                                        {"--samples", true},
                                        {"-s", true},
                                        {"--timeout", true},
                                        {"-t", true},
                                        {"--no-dns", false},
                                        {"-n", false},
                                        {"--ignore-first-hop", false},
                                        {"--packet-size", true},
                                        {"-4", false},
                                        {"--ipv4", false},
                                        {"-6", false},
                                        {"--ipv6", false}};

const TraceOption* traceOption(const QString& argument) {
    for (const TraceOption& option : TraceOptions)
        if (argument == QLatin1String(option.name)) return &option;
    return nullptr;
}

// "PORT", "ADDRESS:PORT" or "[IPv6]:PORT".
bool readListenSpec(const QString& text, ServeOptions& options, QString& error) {
    QString host;
    QString port = text;
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.startsWith(u'[') && host.endsWith(u']')) host = host.mid(1, host.size() - 2);
    }
    const auto number = parseIntegerText(port);
    if (!number || *number < 1 || *number > 65535) {
        error = QStringLiteral("--serve needs [ADDRESS:]PORT with a port from 1 to 65535, not '%1'")
                    .arg(text);
        return false;
    }
    options.port = static_cast<quint16>(*number);
    if (host.isEmpty()) return true;
    if (host == QLatin1String("*")) {
        options.address = QHostAddress(QHostAddress::Any);
        return true;
    }
    if (!options.address.setAddress(host)) {
        error = QStringLiteral("--serve needs an IP address to listen on, not '%1'").arg(host);
        return false;
    }
    return true;
}

// A targets file: one target per line with its own trace options after it; blank lines and
// lines starting with '#' are skipped.
bool readTargetsFile(const QString& path, std::vector<QStringList>& lines, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("--targets: cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const QStringList words = QProcess::splitCommand(line);
        if (words.isEmpty() || words.front().startsWith(u'-')) {
            error = QStringLiteral("--targets: %1 line %2 does not begin with a target")
                        .arg(path)
                        .arg(number);
            return false;
        }
        lines.push_back(words);
    }
    return true;
}

}  // namespace

ServeArguments ParseServeArguments(const QStringList& arguments) {
    ServeArguments result;
    ServeOptions& options = result.options;
    QString& error = result.error;
    // Every target's options: the serving default window first, so that --samples overrides.
    QStringList common = {QStringLiteral("--samples"),
                          QString::number(ServeOptions::DefaultSamples)};
    std::vector<QStringList> targetLines;

    const bool listenFirst = !arguments.isEmpty() && !arguments.front().startsWith(u'-');
    if (listenFirst && !readListenSpec(arguments.front(), options, error)) return result;
    ArgumentReader reader(arguments, listenFirst ? 1 : 0);
    while (reader.next()) {
        if (reader.is("--help", "-h")) {
            options.showHelp = true;
        } else if (reader.is("--target")) {
            const QString target = reader.value();
            if (reader.error().isEmpty()) targetLines.push_back({target});
        } else if (reader.is("--targets")) {
            const QString path = reader.value();
            QString fileError;
            if (reader.error().isEmpty() && !readTargetsFile(path, targetLines, fileError))
                reader.fail(fileError);
        } else if (reader.is("--record-dir")) {
            options.recordDir = reader.value();
        } else if (reader.is("--record-max-mb")) {
            const QString text = reader.value();
            const auto number = parseIntegerText(text);
            if (number && *number >= 1)
                options.recordMaxMb = *number;
            else
                reader.fail(QStringLiteral("--record-max-mb needs a whole number of at least 1, "
                                           "not '%1'")
                                .arg(text));
        } else if (const TraceOption* option = traceOption(reader.current())) {
            common << reader.current();
            if (option->takesValue) common << reader.value();
        } else {
            reader.fail(QStringLiteral("unknown option %1").arg(reader.current()));
        }
    }
    error = reader.error();
    if (!error.isEmpty() || options.showHelp) return result;
    if (targetLines.empty()) {
        error = QStringLiteral("at least one --target or a --targets file is needed");
        return result;
    }

    for (const QStringList& line : targetLines) {
        const QString& target = line.front();
        const QStringList own = line.mid(1);
        for (qsizetype k = 0; k < own.size(); ++k) {
            const TraceOption* option = traceOption(own[k]);
            // The one echo socket is shared, and with it its packet size.
            if (!option || own[k] == QLatin1String("--packet-size")) {
                error = QStringLiteral("%1: %2 cannot be given per target").arg(target, own[k]);
                return result;
            }
            if (option->takesValue) ++k;
        }
        const ReportArguments parsed = ParseReportArguments(common + own + QStringList{target});
        if (!parsed.error.isEmpty()) {
            error =
                line.size() > 1 ? QStringLiteral("%1: %2").arg(target, parsed.error) : parsed.error;
            return result;
        }
        for (const QString& warning : parsed.warnings)
            if (!result.warnings.contains(warning)) result.warnings << warning;
        for (const ReportOptions& other : options.targets)
            if (other.target == target) {
                error = QStringLiteral("target '%1' is given twice").arg(target);
                return result;
            }
        options.targets.push_back(parsed.options);
    }
    return result;
}

QString ServeUsageText() {
    return QStringLiteral(
               "Usage: hoplark --serve [ADDRESS:]PORT --target TARGET [--target TARGET ...]\n"
               "                [--targets FILE] [--delay TEXT] [--samples N] [--timeout MS]\n"
               "                [--packet-size N] [--ignore-first-hop] [--no-dns] [-4|-6]\n"
               "                [--record-dir DIR] [--record-max-mb N]\n"
               "Traces every target without end, each round after the delay (default \"1 "
               "Second\"),\n"
               "and serves the figures over HTTP on ADDRESS (default 127.0.0.1) and PORT\n"
               "(default %1):\n"
               "  /metrics                 Prometheus text, or OpenMetrics when asked for\n"
               "  /api/v1/traces[/TARGET]  the report's JSON of each trace\n"
               "  /healthz                 ok\n"
               "Statistics cover the last N rounds (--samples, default %2; 0 = the day's).\n"
               "A targets FILE holds one target per line, each optionally followed by its own\n"
               "--delay, --samples, --timeout, --ignore-first-hop, --no-dns, -4 or -6; '#' starts "
               "a "
               "comment.\n"
               "A target that cannot be resolved is tried again every 30 s. Each trace starts\n"
               "anew at midnight UTC; --record-dir DIR records each day of each trace to a file,\n"
               "removing the oldest when the folder passes N megabytes (--record-max-mb, default "
               "%3).\n"
               "SIGTERM or SIGINT stops serving and closes the recordings.\n")
        .arg(ServeOptions::DefaultPort)
        .arg(ServeOptions::DefaultSamples)
        .arg(ServeOptions::DefaultRecordMaxMb);
}

}  // namespace hoplark
