#include "app/ReportMode.h"

#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <memory>

#include "app/BoundedNameService.h"
#include "app/ConsoleLine.h"
#include "app/ForwardOnlyNameService.h"
#include "app/ReportOptions.h"
#include "app/ShutdownSignals.h"
#include "export/ReportFormatter.h"
#include "probe/EchoService.h"
#include "probe/NameService.h"
#include "record/RecordingError.h"
#include "record/RecordingReader.h"
#include "record/TraceRecorder.h"
#include "trace/AddressText.h"
#include "trace/Clock.h"
#include "trace/HoplarkError.h"
#include "trace/ThreadProbeLauncher.h"
#include "trace/TraceSession.h"

namespace hoplark {

namespace {

// The report goes out as it is formed: a long recording's JSON is never held whole.
void writeReport(const ReportFormatter& formatter, ReportFormat format, std::FILE* out) {
    std::fflush(out);
    QFile device;
    if (!device.open(out, QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
    formatter.write(format, device);
}

class NoLauncher : public ProbeLauncher {
public:
    void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
};

// The table of a recording over its last `samples` rounds, as the window shows it.
int reportFromRecording(const ReportOptions& options, std::FILE* out, std::FILE* err) {
    LoadedRecording loaded;
    try {
        loaded = RecordingReader::load(options.fromPath);
    } catch (const RecordingError& error) {
        printLine(err, QStringLiteral("hoplark: ") + error.message());
        return 1;
    }
    NoLauncher launcher;
    ForwardOnlyNameService names;
    SteadyClock clock;
    TraceSession session(launcher, names, clock);
    session.editSampleCountChange(QString::number(options.samples));
    const qint64 endedUtcUs = loaded.lastActivityUtcUs;
    session.LoadReplay(std::move(loaded.state));

    ReportFormatter formatter(session.state(), loaded.header.target, session.shownHops(),
                              options.wide);
    formatter.setContext({loaded.header.sourceAddress, loaded.header.startedUtcUs, endedUtcUs,
                          loaded.header.delayText, loaded.header.delayMs,
                          loaded.header.programVersion});
    writeReport(formatter, options.format, out);
    std::fflush(out);
    return 0;
}

}  // namespace

RecordingHeader RecordingHeaderFor(const ReportOptions& options) {
    RecordingHeader header;
    header.programVersion = QStringLiteral(HOPLARK_VERSION);
    header.packetSize = options.packetSize;
    header.timeoutMs = options.timeoutMs;
    header.delayText = options.delayText;
    header.delayMs = options.delayMs;
    header.ignoreFirstHop = options.ignoreFirstHop;
    return header;
}

int RunReport(const QStringList& arguments, const std::shared_ptr<EchoService>& echo,
              std::FILE* out, std::FILE* err) {
    const ReportArguments parsed = ParseReportArguments(arguments);
    if (const std::optional<int> status = settleArguments(
            parsed.warnings, parsed.options.showHelp, parsed.error, ReportUsageText(), out, err))
        return *status;
    const ReportOptions& options = parsed.options;
    if (!options.fromPath.isEmpty()) return reportFromRecording(options, out, err);
    if (!echoAvailable(*echo, err)) return 1;
    echo->setPacketSize(options.packetSize);

    std::shared_ptr<NameService> names;
    std::shared_ptr<BoundedNameService> boundedNames;
    if (options.resolveNames) {
        boundedNames = std::make_shared<BoundedNameService>(std::make_shared<SystemNameService>());
        names = boundedNames;
    } else {
        names = std::make_shared<ForwardOnlyNameService>();
    }
    ThreadProbeLauncher launcher(echo, names, options.timeoutMs);
    SteadyClock clock;
    TraceSession session(launcher, names, clock);
    // Nothing is shown while a round runs, so its results come in one wake-up, not one per hop.
    session.channel()->setWakeOnlyWhenIdle(true);

    const qint32 delayMs = options.delayMs;
    session.setDelayProvider([delayMs] { return delayMs; });

    // Recording only when asked; a recording that fails says so once and the trace goes on.
    std::unique_ptr<TraceRecorder> recorder;
    if (!options.recordPath.isEmpty()) {
        recorder = std::make_unique<TraceRecorder>(
            [&options] { return RecordingHeaderFor(options); },
            [&options](const RecordingHeader&) { return options.recordPath; });
        session.setObserver(recorder.get());
        QObject::connect(
            recorder.get(), &TraceRecorder::recordingFailed, [err](const QString& message) {
                printLine(err, QStringLiteral("hoplark: recording stopped: ") + message);
            });
    }
    session.setTraceCountText(QString::number(options.count));
    session.setIgnoreFirstHop(options.ignoreFirstHop);
    session.setAddressChoice(options.addressChoice);
    session.editSampleCountChange(QString::number(options.samples));

    // Worker failures are printed once each; they do not end the report.
    QObject::connect(&session, &TraceSession::workerErrorRaised,
                     [err](const QString& text) { printLine(err, errorBoxText(text)); });
    if (isatty(fileno(err))) {
        QObject::connect(
            &session, &TraceSession::samplesTakenChanged, [err, &options](int samplesTaken) {
                printLine(
                    err,
                    QStringLiteral("Trace Count: %1 of %2").arg(samplesTaken).arg(options.count));
            });
    }

    QEventLoop loop;
    QString failure;
    // Checked at once on every change (they come with every probe), but the loop ends only
    // after the handler that made the change has finished.
    auto finishWhenDone = [&] {
        if (!session.isStarting() && !session.isTracing() && session.pendingQueries() == 0 &&
            !session.isNamingTarget())
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    };
    QObject::connect(&session, &TraceSession::tracingChanged, &loop, finishWhenDone);
    QObject::connect(&session, &TraceSession::queriesSettled, &loop, finishWhenDone);
    QObject::connect(&session, &TraceSession::targetNamingChanged, &loop, finishWhenDone);
    // Once the last round is launched, names are waited for only a short while after the last
    // answer: a resolver that never answers must not hold the table back by its own time-out.
    if (boundedNames) {
        const std::shared_ptr<WorkerChannel> workers = session.channel();
        const std::chrono::milliseconds bound(options.nameWaitMs);
        QObject::connect(
            &session, &TraceSession::tracingChanged, &loop,
            [boundedNames, workers, bound](bool tracing) {
                if (tracing) return;
                boundedNames->limitWait(
                    [workers](int lookups) { return workers->workerCount() <= size_t(lookups); },
                    bound);
            });
    }
    QObject::connect(&session, &TraceSession::errorRaised, &loop, [&](const QString& message) {
        failure = message;
        loop.quit();
    });

    // Ctrl+C or a kill ends the trace where it is; the rounds taken are still reported.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &loop, [&] {
        // What has arrived is part of the rounds taken.
        session.channel()->deliverPending();
        session.StopTrace();
        loop.quit();
    });

    // A start that fails may say so before StartTrace returns: the queued call then ends the
    // loop as soon as it runs.
    QObject::connect(
        &session, &TraceSession::startFailed, &loop,
        [&](const QString& message) {
            failure = message;
            loop.quit();
        },
        Qt::QueuedConnection);
    // A family whose socket could not be opened is told at once, not as a path of lost hops.
    QObject::connect(
        &session, &TraceSession::targetResolved, &loop,
        [&](const QString& address) {
            const auto target = IpAddress::Parse(address.toStdString());
            if (!target || echo->bound(target->family()) || !failure.isEmpty()) return;
            failure = QString::fromStdString(echo->familyError(target->family()));
            session.StopTrace();
            loop.quit();
        },
        Qt::QueuedConnection);
    // The floor on the pace is told once, as the window's status bar does.
    QObject::connect(&session, &TraceSession::noticeChanged, [err](const QString& text) {
        if (!text.isEmpty()) printLine(err, text);
    });

    session.StartTrace(options.target);
    if (!shutdown.caught()) loop.exec();
    if (!failure.isEmpty()) {
        printLine(err, errorBoxText(failure));
        return 1;
    }

    if (const int missing = boundedNames ? boundedNames->namesGivenUp() : 0; missing > 0) {
        printLine(err, QStringLiteral("hoplark: %1 %2 did not arrive within %3 s; %4 the address")
                           .arg(missing)
                           .arg(missing == 1 ? QStringLiteral("name") : QStringLiteral("names"))
                           .arg(QLocale().toString(options.nameWaitMs / 1000.0))
                           .arg(missing == 1 ? QStringLiteral("its hop shows")
                                             : QStringLiteral("their hops show")));
    }

    session.setObserver(nullptr);
    if (recorder) recorder->finish();
    const qint64 startedUtcUs = session.state().roundStartUtcUs(1);
    ReportFormatter formatter(session.state(), options.target, session.shownHops(), options.wide);
    formatter.setContext({SourceAddressTextToward(session.state().TargetAddress), startedUtcUs,
                          clock.utcUs(), options.delayText, options.delayMs,
                          QStringLiteral(HOPLARK_VERSION)});
    writeReport(formatter, options.format, out);
    std::fflush(out);
    return shutdown.caught() ? ShutdownSignals::exitStatusFor(shutdown.caught()) : 0;
}

}  // namespace hoplark
