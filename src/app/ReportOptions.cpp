#include "app/ReportOptions.h"

#include <QLocale>

#include "trace/DelayText.h"
#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"
#include "trace/TraceSession.h"

namespace hoplark {

namespace {

// Reads a whole number option within [minimum, maximum]; sets `error` otherwise.
bool readNumber(const QString& option, const QString& text, qint32 minimum, qint32 maximum,
                qint32& value, QString& error) {
    const auto number = parseIntegerText(text);
    if (!number || *number < minimum || *number > maximum) {
        error = QStringLiteral("%1 needs a whole number from %2 to %3, not '%4'")
                    .arg(option)
                    .arg(minimum)
                    .arg(maximum)
                    .arg(text);
        return false;
    }
    value = *number;
    return true;
}

// "10 ms" reads as ten minutes; a report would sit silent for hours before its header said so.
QString millisecondsAsMinutesWarning(const QString& delayText, qint32 delayMs) {
    const QChar separator = QLocale().decimalPoint().front();
    QString minutes = QString::number(delayMs / 60000.0, 'g', 15);
    minutes.replace(u'.', separator);
    const QString unit = delayMs == 60000 ? QStringLiteral("Minute") : QStringLiteral("Minutes");
    return QStringLiteral(
               "--delay \"%1\" reads as %2 %3 (M is minutes; the shortest delay is %4 s)")
        .arg(delayText, minutes, unit,
             QLocale().toString(TraceSession::MinimumRoundIntervalMs / 1000.0));
}

}  // namespace

ReportArguments ParseReportArguments(const QStringList& arguments) {
    ReportArguments result;
    ReportOptions& options = result.options;
    QString& error = result.error;
    bool targetSeen = false;

    for (qsizetype i = 0; i < arguments.size() && error.isEmpty(); ++i) {
        const QString& argument = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(argument);
                return {};
            }
            return arguments[++i];
        };

        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.showHelp = true;
        } else if (argument == QLatin1String("--count") || argument == QLatin1String("-c")) {
            const QString text = value();
            if (error.isEmpty()) readNumber(argument, text, 1, 1000000, options.count, error);
        } else if (argument == QLatin1String("--delay") || argument == QLatin1String("-d")) {
            options.delayText = value();
        } else if (argument == QLatin1String("--samples") || argument == QLatin1String("-s")) {
            const QString text = value();
            if (error.isEmpty()) readNumber(argument, text, 0, 1000000, options.samples, error);
        } else if (argument == QLatin1String("--timeout") || argument == QLatin1String("-t")) {
            const QString text = value();
            if (error.isEmpty()) readNumber(argument, text, 1, 9998, options.timeoutMs, error);
        } else if (argument == QLatin1String("--packet-size")) {
            const QString text = value();
            if (error.isEmpty()) readNumber(argument, text, 0, 65507, options.packetSize, error);
        } else if (argument == QLatin1String("--ignore-first-hop")) {
            options.ignoreFirstHop = true;
        } else if (argument == QLatin1String("--name-wait")) {
            const QString text = value();
            if (error.isEmpty()) readNumber(argument, text, 0, 600000, options.nameWaitMs, error);
        } else if (argument == QLatin1String("--ipv4") || argument == QLatin1String("-4") ||
                   argument == QLatin1String("--ipv6") || argument == QLatin1String("-6")) {
            const AddressChoice choice =
                argument.contains(u'4') ? AddressChoice::V4Only : AddressChoice::V6Only;
            if (options.addressChoice != AddressChoice::ResolverOrder &&
                options.addressChoice != choice && error.isEmpty()) {
                error = QStringLiteral("-4 and -6 cannot be given together");
            }
            options.addressChoice = choice;
        } else if (argument == QLatin1String("--no-dns") || argument == QLatin1String("-n")) {
            options.resolveNames = false;
        } else if (argument == QLatin1String("--format") || argument == QLatin1String("-f")) {
            const QString text = value();
            if (text == QLatin1String("text")) {
                options.format = ReportFormat::Text;
            } else if (text == QLatin1String("csv")) {
                options.format = ReportFormat::Csv;
            } else if (text == QLatin1String("json")) {
                options.format = ReportFormat::Json;
            } else if (error.isEmpty()) {
                error = QStringLiteral("--format takes text, csv or json, not '%1'").arg(text);
            }
        } else if (argument == QLatin1String("--wide") || argument == QLatin1String("-w")) {
            options.wide = true;
        } else if (argument == QLatin1String("--record")) {
            options.recordPath = value();
        } else if (argument == QLatin1String("--from")) {
            options.fromPath = value();
        } else if (argument == QLatin1String("--settings")) {
            value();  // the report reads no settings file and writes none
        } else if (argument.startsWith(u'-') && argument.size() > 1) {
            error = QStringLiteral("unknown option %1").arg(argument);
        } else if (!targetSeen) {
            options.target = argument;
            targetSeen = true;
        } else {
            error = QStringLiteral("only one target may be given, not also '%1'").arg(argument);
        }
    }
    if (!error.isEmpty() || options.showHelp) return result;

    if (!options.fromPath.isEmpty()) {
        if (targetSeen)
            error = QStringLiteral("--from reads a recording and takes no target");
        else if (!options.recordPath.isEmpty())
            error = QStringLiteral("--from and --record cannot be given together");
        return result;
    }
    if (!targetSeen) {
        error = QStringLiteral("a target is needed");
        return result;
    }
    try {
        options.delayMs = GetDelayMs(options.delayText, QLocale().decimalPoint().front());
        if (DelayUnitLooksLikeMilliseconds(options.delayText))
            result.warnings.append(
                millisecondsAsMinutesWarning(options.delayText, options.delayMs));
    } catch (const HoplarkError& failure) {
        const QString half = QStringLiteral("0") + QLocale().decimalPoint() + u'5';
        error = QStringLiteral(
                    "--delay: %1 A delay reads like \"%2\", \"%2 Seconds\" or "
                    "\"2 Minutes\".")
                    .arg(errorBoxText(failure.message()), half);
    }
    return result;
}

QString ReportUsageText() {
    return QStringLiteral(
        "Usage: hoplark --report TARGET [--count N] [--delay TEXT] [--samples N] [--timeout MS]\n"
        "                [--packet-size N] [--ignore-first-hop] [--no-dns] "
        "[--format text|csv|json] [--wide]\n"
        "                [--name-wait MS] [--record FILE] [-4|-6]\n"
        "       hoplark --report --from FILE [--samples N] [--format text|csv|json] [--wide]\n"
        "Traces TARGET for N rounds (default 10), one round per delay (default \"1 Second\"),\n"
        "waits for the last round's answers and prints every hop. Needs no display.\n"
        "Names still on their way after the last answers are waited for at most MS\n"
        "milliseconds (--name-wait, default 2000); hops whose name did not come show the\n"
        "address, and standard error says how many names did not arrive.\n"
        "The text form gives each hop's loss (Loss%) and probes sent (Snt) over the window\n"
        "and its loss verdict (rate-limited, loss). --wide adds to text and CSV the\n"
        "statistics over the window in milliseconds with fractions (mean, best, worst,\n"
        "standard deviation, jitter; CSV also loss and sent); JSON always has them, with the\n"
        "median, 95th percentile, RFC 3550 jitter and every sample in microseconds.\n"
        "--record FILE also writes every probe to a new recording; --from FILE prints the\n"
        "table of a recording instead of tracing, over its last N rounds (default all).\n"
        "TARGET is a name, an IPv4 address or an IPv6 address (brackets and a %zone\n"
        "allowed). A name is traced at the first address the resolver gives; -4 (--ipv4)\n"
        "or -6 (--ipv6) takes its first address of that family instead.\n");
}

}  // namespace hoplark
