#include "serve/FleetTarget.h"

#include "record/RecordingError.h"
#include "record/RecordingFolder.h"
#include "trace/AddressText.h"
#include "trace/HoplarkError.h"

namespace hoplark {

namespace {

constexpr qint64 UsPerDay = 86400LL * 1000 * 1000;

}  // namespace

FleetTarget::FleetTarget(ServedTraceSettings settings, std::shared_ptr<EchoService> echo,
                         std::shared_ptr<NameService> names, const Clock& clock, FleetBoard& board,
                         size_t slot, const std::optional<ServedRecording>& recording,
                         QObject* parent)
    : QObject(parent),
      settings_(std::move(settings)),
      clock_(clock),
      board_(board),
      slot_(slot),
      launcher_(std::move(echo), names, settings_.timeoutMs),
      session_(launcher_, names, clock),
      tally_(settings_.target) {
    // Nothing is shown while a round runs: a round's results reach the session in one wake-up.
    session_.channel()->setWakeOnlyWhenIdle(true);
    const qint32 delayMs = settings_.delayMs;
    session_.setDelayProvider([delayMs] { return delayMs; });
    session_.setTraceCountText(QStringLiteral("0"));
    session_.setIgnoreFirstHop(settings_.ignoreFirstHop);
    session_.setAddressChoice(settings_.addressChoice);
    session_.editSampleCountChange(QString::number(settings_.samples));
    session_.setObserver(&tally_);

    if (recording) {
        const RecordingFolder folder(recording->folder);
        const qint64 maxBytes = recording->maxBytes;
        recorder_ = std::make_unique<TraceRecorder>(
            recording->headers, [folder, maxBytes](const RecordingHeader& header) {
                const QString path = folder.newRecordingPath(header.target, header.startedUtcUs);
                // The new file does not exist yet, so it is never the one removed.
                folder.enforceCap(maxBytes, path);
                return path;
            });
        tally_.setNext(recorder_.get());
        connect(recorder_.get(), &TraceRecorder::recordingFailed, this,
                [this](const QString& message) {
                    emit problem(
                        QStringLiteral("%1: recording stopped: %2").arg(settings_.target, message));
                });
    }

    connect(&session_, &TraceSession::targetResolved, this,
            [this](const QString& address) { sourceAddress_ = SourceAddressTextToward(address); });
    // A round launched, or every answer in: the figures are worth publishing. Queued, so that
    // the round's launch is never held up by it.
    connect(&session_, &TraceSession::samplesTakenChanged, this, &FleetTarget::schedulePublish);
    connect(&session_, &TraceSession::queriesSettled, this, &FleetTarget::schedulePublish);
    // A start may fail before StartTrace returns: the retry is armed after it has.
    connect(&session_, &TraceSession::startFailed, this, &FleetTarget::retryLater,
            Qt::QueuedConnection);
    connect(&session_, &TraceSession::errorRaised, this, &FleetTarget::retryLater);
    // A failure that repeats every round is told once a minute, not every second.
    connect(&session_, &TraceSession::workerErrorRaised, this, [this](const QString& text) {
        const qint64 now = clock_.tickMs();
        if (text == lastWorkerError_ && now - lastWorkerErrorMs_ < WorkerErrorRepeatMs) return;
        lastWorkerError_ = text;
        lastWorkerErrorMs_ = now;
        emit problem(QStringLiteral("%1: %2").arg(settings_.target, errorBoxText(text)));
    });

    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &FleetTarget::start);
    dailyTimer_.setSingleShot(true);
    connect(&dailyTimer_, &QTimer::timeout, this, [this] {
        session_.StopTrace();
        start();
    });

    TargetMetrics empty;
    empty.target = settings_.target;
    board_.publish(slot_, std::move(empty));
}

FleetTarget::~FleetTarget() {
    session_.setObserver(nullptr);
}

void FleetTarget::start() {
    armDailyRestart();
    session_.StartTrace(settings_.target);
}

void FleetTarget::stop() {
    retryTimer_.stop();
    dailyTimer_.stop();
    session_.channel()->deliverPending();
    session_.StopTrace();
    session_.setObserver(nullptr);
    if (recorder_) recorder_->finish();
}

TraceDocument FleetTarget::document() const {
    TraceDocument document;
    document.target = settings_.target;
    document.state = session_.state();
    document.shownHops = session_.shownHops();
    document.context = {sourceAddress_,    session_.state().roundStartUtcUs(1),
                        clock_.utcUs(),    settings_.delayText,
                        settings_.delayMs, QStringLiteral(HOPLARK_VERSION)};
    return document;
}

void FleetTarget::schedulePublish() {
    if (publishQueued_) return;
    publishQueued_ = true;
    QMetaObject::invokeMethod(this, &FleetTarget::publish, Qt::QueuedConnection);
}

void FleetTarget::publish() {
    publishQueued_ = false;
    board_.publish(slot_, tally_.metrics(session_.state(), session_.shownHops()));
}

void FleetTarget::retryLater(const QString& message) {
    dailyTimer_.stop();
    emit problem(QStringLiteral("%1: %2 (trying again in %3 s)")
                     .arg(settings_.target, errorBoxText(message))
                     .arg(RetryDelayMs / 1000));
    retryTimer_.start(RetryDelayMs);
}

void FleetTarget::armDailyRestart() {
    const qint64 now = clock_.utcUs();
    const qint64 untilMidnightUs = UsPerDay - now % UsPerDay;
    // A second past midnight, so the new file is named by the new day.
    dailyTimer_.start(static_cast<int>(untilMidnightUs / 1000) + 1000);
}

}  // namespace hoplark
