#include "app/ServeMode.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <vector>

#include "app/ConsoleLine.h"
#include "app/ForwardOnlyNameService.h"
#include "app/ReportMode.h"
#include "app/ServeOptions.h"
#include "app/ShutdownSignals.h"
#include "probe/EchoService.h"
#include "serve/FleetTarget.h"
#include "serve/ServeRoutes.h"
#include "serve/ServerThread.h"
#include "trace/Clock.h"

namespace hoplark {

namespace {

ServedTraceSettings settingsOf(const ReportOptions& options) {
    return {.target = options.target,
            .delayText = options.delayText,
            .delayMs = options.delayMs,
            .samples = options.samples,
            .timeoutMs = options.timeoutMs,
            .ignoreFirstHop = options.ignoreFirstHop,
            .addressChoice = options.addressChoice};
}

QString listenText(const QHostAddress& address, quint16 port) {
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

}  // namespace

int RunServe(const QStringList& arguments, const std::shared_ptr<EchoService>& echo, std::FILE* out,
             std::FILE* err) {
    const ServeArguments parsed = ParseServeArguments(arguments);
    if (const std::optional<int> status = settleArguments(parsed.warnings, parsed.options.showHelp,
                                                          parsed.error, ServeUsageText(), out, err))
        return *status;
    const ServeOptions& options = parsed.options;
    if (!echoAvailable(*echo, err)) return 1;
    echo->setPacketSize(options.targets.front().packetSize);

    // One resolver for every target; forward lookups only for a target that asked for no names.
    const auto names = std::make_shared<SystemNameService>();
    const auto forwardOnly = std::make_shared<ForwardOnlyNameService>();
    SteadyClock clock;
    FleetBoard board(options.targets.size());
    std::vector<std::unique_ptr<FleetTarget>> targets;
    for (size_t slot = 0; slot < options.targets.size(); ++slot) {
        const ReportOptions& target = options.targets[slot];
        std::optional<ServedRecording> recording;
        if (!options.recordDir.isEmpty())
            recording =
                ServedRecording{options.recordDir, qint64(options.recordMaxMb) * 1024 * 1024,
                                [target] { return RecordingHeaderFor(target); }};
        std::shared_ptr<NameService> targetNames = names;
        if (!target.resolveNames) targetNames = forwardOnly;
        targets.push_back(std::make_unique<FleetTarget>(settingsOf(target), echo, targetNames,
                                                        clock, board, slot, recording));
        QObject::connect(targets.back().get(), &FleetTarget::problem, [err](const QString& text) {
            printLine(err, QStringLiteral("hoplark: ") + text);
        });
    }

    QObject sessionsContext;
    TraceDocumentSource documents{&sessionsContext, [&targets](const std::optional<QString>& name) {
                                      std::vector<TraceDocument> result;
                                      for (const auto& target : targets)
                                          if (!name || target->target() == *name)
                                              result.push_back(target->document());
                                      return result;
                                  }};
    ServeRoutes routes(board, documents, QStringLiteral(HOPLARK_VERSION));
    auto server = std::make_unique<ServerThread>(
        [&routes](const HttpRequest& request, HttpReply reply) { routes.handle(request, reply); });
    routes.setReplyContext(server->context());
    if (const std::optional<QString> error = server->listen(options.address, options.port)) {
        printLine(err, QStringLiteral("hoplark: cannot listen on %1: %2")
                           .arg(listenText(options.address, options.port), *error));
        return 1;
    }
    printLine(err,
              QStringLiteral("hoplark: serving %1 %2 on %3")
                  .arg(targets.size())
                  .arg(targets.size() == 1 ? QStringLiteral("target") : QStringLiteral("targets"))
                  .arg(listenText(options.address, server->port())));

    // The targets start spread over one delay, so their rounds do not all fall together.
    const qint32 spreadMs = options.targets.front().delayMs;
    for (size_t i = 0; i < targets.size(); ++i) {
        FleetTarget* target = targets[i].get();
        QTimer::singleShot(static_cast<int>(spreadMs * i / targets.size()), target,
                           [target] { target->start(); });
    }

    QEventLoop loop;
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &loop, &QEventLoop::quit);
    if (!shutdown.caught()) loop.exec();

    // The server goes first, so no request waits on a session that is gone.
    server.reset();
    // Requests for documents still queued would answer a server that is gone.
    QCoreApplication::removePostedEvents(&sessionsContext);
    for (const auto& target : targets)
        target->stop();
    printLine(err, QStringLiteral("hoplark: stopped serving"));
    return 0;
}

}  // namespace hoplark
