#include "trace/TTraceThread.h"

#include <algorithm>
#include <exception>

#include "probe/TTrace.h"

namespace hoplark {

namespace {

// The dotted address text without a trip through UTF-8 and a byte array: a probe's own work is
// small enough that this showed.
std::string AsciiText(const QString& text) {
    std::string ascii;
    ascii.reserve(static_cast<size_t>(text.size()));
    for (const QChar c : text) {
        if (c.unicode() > 0x7F) return text.toStdString();
        ascii.push_back(static_cast<char>(c.unicode()));
    }
    return ascii;
}

}  // namespace

TTraceThread::TTraceThread(const HopProbeRequest& request, std::shared_ptr<WorkerChannel> channel,
                           std::shared_ptr<EchoService> echo, std::shared_ptr<NameService> names,
                           int timeoutMs)
    : Target(request.target),
      Hop(request.hop),
      ResolveName(request.resolveName),
      StartDelay(request.startDelayMs),
      Round(request.round),
      trace_(request.trace),
      timeoutMs_(timeoutMs),
      channel_(std::move(channel)),
      echo_(std::move(echo)),
      names_(std::move(names)) {}

void TTraceThread::start(HopWorkerPool& pool) {
    // The job holds the last reference, so the worker is freed when its body ends.
    pool.run([self = shared_from_this()] { self->Execute(); });
}

void TTraceThread::requestTerminate() {
    terminate_.store(true, std::memory_order_release);
    cancel_.cancel();
}

void TTraceThread::Execute() {
    if (StartDelay > 0) cancel_.sleepFor(StartDelay);
    std::unique_ptr<WorkerEvent> result;
    if (!terminated()) {
        try {
            result = probeAndPost();
        } catch (const std::exception& failure) {
            postFailure(QString::fromStdString(failure.what()));
        } catch (...) {
            postFailure(QStringLiteral("Unexpected failure while probing hop %1").arg(Hop));
        }
    }
    channel_->removeWorker(this);
    auto* done = new WorkerEvent(WM_QUERYDONE, trace_);
    // A result that nothing follows goes with the done message: one wake-up of the UI thread.
    if (result && !terminated())
        channel_->post({result.release(), done});
    else
        channel_->post(done);
}

std::unique_ptr<WorkerEvent> TTraceThread::probeAndPost() {
    TTrace probe(
        *echo_,
        [this](const std::string& message) { postFailure(QString::fromStdString(message)); },
        &cancel_);
    probe.TTL = static_cast<uint8_t>(Hop);
    probe.Destination = AsciiText(Target);
    probe.Timeout = timeoutMs_;
    probe.Probe();

    // Written by the probe in plain ASCII (an interface name of a zone aside).
    const QString responder = QString::fromStdString(probe.ResponderIP);
    auto result = std::make_unique<THostInfo>(Hop);
    result->IP = responder;
    result->AvgTime = static_cast<qint16>(probe.RoundTrip);
    result->Detail.roundTripUs =
        probe.RoundTripUs < 0 ? -1
                              : static_cast<qint32>(std::min<int64_t>(probe.RoundTripUs, 9998999));
    result->Detail.round = Round;
    result->Detail.sentUtcUs = probe.SentUtcUs;
    result->Detail.clock = static_cast<SampleClock>(probe.Clock);
    result->Detail.icmpType = probe.IcmpType;
    result->Detail.icmpCode = probe.IcmpCode;
    result->UnreachableFrom = QString::fromStdString(probe.UnreachableFrom);
    if (terminated() || !channel_->receiverAlive()) return nullptr;
    auto posted = std::make_unique<WorkerEvent>(WM_HOPRESULT, trace_, std::move(result));
    if (!ResolveName || !probe.Responder) return posted;

    // The result must not wait for the lookup.
    channel_->post(posted.release());
    if (terminated() || !channel_->receiverAlive()) return nullptr;
    auto named = std::make_unique<THostInfo>(Hop);
    named->IP = responder;
    const auto name = names_->LookupAddress(*probe.Responder);
    named->DNSName = name ? QString::fromStdString(*name) : NO_NAME;
    channel_->post(new WorkerEvent(WM_HOPNAME, trace_, std::move(named)));
    return nullptr;
}

void TTraceThread::postFailure(const QString& text) {
    channel_->post(WorkerEvent::error(trace_, text));
}

}  // namespace hoplark
