#include "trace/TraceSession.h"

#include <algorithm>
#include <exception>
#include <optional>

#include <QLocale>

#include "trace/HopMerge.h"
#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"
#include "trace/UnreachableReason.h"

namespace hoplark {

namespace {

// The round limit or sample count as typed; anything that is not an integer means 0.
qint32 countFromText(const QString& text) {
    return integerTextOr(text, 0);
}

}  // namespace

TraceSession::TraceSession(ProbeLauncher& launcher, std::shared_ptr<NameService> names,
                           const Clock& clock, QObject* parent)
    : QObject(parent),
      launcher_(launcher),
      resolver_(std::move(names)),
      clock_(clock),
      ProbeThreads(std::make_shared<WorkerChannel>(this)) {
    setUpRoundTimer();
}

TraceSession::TraceSession(ProbeLauncher& launcher, NameService& names, const Clock& clock,
                           QObject* parent)
    : QObject(parent),
      launcher_(launcher),
      resolver_(names),
      clock_(clock),
      ProbeThreads(std::make_shared<WorkerChannel>(this)) {
    setUpRoundTimer();
}

void TraceSession::setUpRoundTimer() {
    roundTimer_.setSingleShot(true);
    // The launch time is taken off each interval; that is only worth something when the timer
    // itself keeps to the millisecond (a coarse timer drifts by up to 5 %).
    roundTimer_.setTimerType(Qt::PreciseTimer);
    connect(&roundTimer_, &QTimer::timeout, this, &TraceSession::onRoundTimer);
    overdueTimer_.setSingleShot(true);
    connect(&overdueTimer_, &QTimer::timeout, this, &TraceSession::CheckOverdue);
}

TraceSession::~TraceSession() {
    // Workers may outlive the session; the cleared channel keeps them from reaching it.
    ProbeThreads->detachReceiver();
    StopAllThreads();
}

qint32 TraceSession::pendingQueries() const {
    std::lock_guard lock(QueryLock);
    return PendingQueries;
}

// ---------------------------------------------------------------- start, stop, restart

void TraceSession::StartTrace(const QString& destination) {
    StopAllThreads();
    roundTimer_.stop();
    Tracing = false;
    replay_ = false;
    setRestartAvailable(false);

    // A new trace id: whatever the old trace's workers still post is dropped on arrival, and
    // its outstanding completions no longer count.
    ++currentTrace_;
    resetPending();

    state_.HopList.clear();
    state_.RoundStartsUtcUs.clear();
    state_.RoundLaunches.clear();
    state_.UnreachableFrom.clear();
    state_.UnreachableCode.reset();
    overdueTimer_.stop();
    state_.GraphScale = 1;
    SetSamplesTaken(0);
    state_.DestinationHop = 0;
    updateShownHops();
    emit refreshRequested();

    setNamingTarget(false);
    // A lookup of an earlier start that is still under way is answered into nothing.
    ++startRequest_;
    startDestination_ = destination;
    setStarting(true);

    if (destination.isEmpty()) {
        failStart(QStringLiteral("Host name or IP Address required."));
        return;
    }
    if (const QString refused = ControlCharacterRefusal(destination); !refused.isEmpty()) {
        failStart(refused);
        return;
    }
    resolver_.resolve(this, startRequest_, destination.toStdString(), addressChoice_);
}

QString TraceSession::ControlCharacterRefusal(const QString& destination) {
    QString shown;
    bool refused = false;
    for (const QChar c : destination) {
        if (c.unicode() < 0x20) {
            // The control pictures (U+2400 on) show what was pasted without breaking the box.
            shown += QChar(0x2400 + c.unicode());
            refused = true;
        } else {
            shown += c;
        }
    }
    if (!refused) return {};
    return QStringLiteral("Host: ") + shown +
           QStringLiteral(
               " could not be found! A host name holds no line break, tab or other "
               "control character.");
}

void TraceSession::failStart(const QString& message) {
    setStarting(false);
    emit startFailed(message);
}

void TraceSession::OnTargetResolved(const TargetResolvedEvent& event) {
    if (!starting_ || event.request() != startRequest_) return;  // cancelled or superseded
    const TargetResolution& resolution = event.resolution();
    if (resolution.noRoute && resolution.address) {
        failStart(QStringLiteral("Host: %1 [%2] cannot be traced: this machine has no %3 route "
                                 "to it.")
                      .arg(startDestination_, QString::fromStdString(resolution.address->text()),
                           QLatin1String(FamilyName(resolution.address->family()))));
        return;
    }
    if (!resolution.found()) {
        QString message =
            QStringLiteral("Host: ") + startDestination_ + QStringLiteral(" could not be found!");
        if (!resolution.whyNotFound.isEmpty()) message += QLatin1Char(' ') + resolution.whyNotFound;
        failStart(message);
        return;
    }
    TargetIP = resolution.address;
    // Workers probe, and the label shows, the canonical form even when the user typed "127.1",
    // leading zeros or a long IPv6 form.
    state_.TargetAddress = QString::fromStdString(resolution.address->text());
    state_.HostName = resolution.hostName;
    emit targetResolved(state_.TargetAddress, state_.HostName);
    emit destinationAccepted(startDestination_);
    if (observer_)
        observer_->traceStarted(startDestination_, state_.TargetAddress, state_.HostName,
                                clock_.utcUs());

    Tracing = true;
    setStarting(false);
    emit tracingChanged(true);
    emit legendRequested();
    // A typed address is probed at once; its name follows into the header when it comes.
    if (resolution.typedAddress) {
        setNamingTarget(true);
        resolver_.lookUpName(this, currentTrace_, *resolution.address);
    }
    onRoundTimer();
}

void TraceSession::OnTargetNamed(const TargetNamedEvent& event) {
    if (!namingTarget_ || event.request() != currentTrace_) return;  // an earlier trace's
    if (!event.name().isEmpty()) {
        state_.HostName = event.name();
        emit targetResolved(state_.TargetAddress, state_.HostName);
        if (observer_) observer_->targetNamed(state_.HostName);
    }
    setNamingTarget(false);
}

void TraceSession::setNamingTarget(bool naming) {
    if (naming == namingTarget_) return;
    namingTarget_ = naming;
    emit targetNamingChanged(naming);
}

void TraceSession::setStarting(bool starting) {
    if (starting == starting_) return;
    starting_ = starting;
    emit startingChanged(starting);
}

void TraceSession::StopTrace() {
    if (starting_) {
        // The lookups cannot be interrupted; their answer will find no start waiting.
        setStarting(false);
        return;
    }
    roundTimer_.stop();
    if (Tracing) {
        Tracing = false;
        emit tracingChanged(false);
        if (observer_) observer_->traceStopped();
    }
    setRestartAvailable(true);
}

void TraceSession::RestartTrace() {
    if (!restartAvailable_ || Tracing || replay_) return;
    Tracing = true;
    emit tracingChanged(true);
    emit legendRequested();
    setRestartAvailable(false);
    tmrTraceTimer();
}

void TraceSession::editDestinationChange() {
    setRestartAvailable(false);
}

void TraceSession::LoadReplay(TraceState state) {
    // A start still waiting for its lookup is dropped: its answer finds no start waiting.
    ++startRequest_;
    setStarting(false);
    setNamingTarget(false);
    StopAllThreads();
    roundTimer_.stop();
    // Whatever the last live trace's workers still post is dropped by the new id.
    ++currentTrace_;
    resetPending();
    if (Tracing) {
        Tracing = false;
        emit tracingChanged(false);
    }
    setRestartAvailable(false);
    replay_ = true;

    state_ = std::move(state);
    overdueTimer_.stop();
    TargetIP = IpAddress::Parse(state_.TargetAddress.toStdString());
    // The stored trace opens on its newest rounds, as a live trace of as many rounds would
    // stand, measured afresh whatever the window was.
    HistorySliderState slider = slider_;
    slider.position = 1;
    slider.maximum = 1;
    setSlider(slider);
    state_.Window.FirstSample = -1;
    SetSamplesTaken(state_.SamplesTaken);
    RecalcScale();
    updateShownHops();
    emit shownHopsChanged(shownHops_);
    emit targetResolved(state_.TargetAddress, state_.HostName);
    emit legendRequested();
    emit refreshRequested();
}

// ---------------------------------------------------------------- rounds

void TraceSession::onRoundTimer() {
    try {
        tmrTraceTimer();
    } catch (const HoplarkError& error) {
        emit errorRaised(error.message());
    } catch (const std::exception& error) {
        emit errorRaised(QString::fromLocal8Bit(error.what()));
    }
}

void TraceSession::tmrTraceTimer() {
    const qint64 launchStartedMs = clock_.tickMs();
    roundTimer_.stop();
    if (!Tracing) return;
    if (ProbeThreads->wakesOnlyWhenIdle()) {
        // Results of workers that are still not all done (a slow or lost hop) are not held past
        // a round: the next one is launched from the hop table they fill in.
        ProbeThreads->deliverPending();
        if (!Tracing) return;
    }
    DoTrace();

    const qint32 limit = countFromText(traceCountText_);
    if (limit != 0 && limit <= state_.SamplesTaken) {
        StopTrace();
        return;
    }
    try {
        armRoundTimer(launchStartedMs);
    } catch (...) {
        // Without a delay no further round can be scheduled: leave the trace stopped (and
        // restartable) rather than showing "&Stop" on a trace that no longer runs.
        StopTrace();
        throw;
    }
}

void TraceSession::armRoundTimer(qint64 launchStartedMs) {
    qint64 delay = delayProvider_ ? delayProvider_() : DefaultDelayMs;
    // A delay that is not positive would re-fire at once, round after round.
    if (delay <= 0) delay = DefaultDelayMs;
    const qint64 requested = delay;
    const qint64 launchMs = std::abs(clock_.tickMs() - launchStartedMs);
    if (launchMs < LaunchCompensationLimitMs) {
        delay -= std::abs(clock_.tickMs() - launchStartedMs);
    }
    if (delay < MinimumRoundIntervalMs) delay = MinimumRoundIntervalMs;
    // Told once when the floor starts to apply, cleared once when it no longer does.
    const bool belowFloor = requested < MinimumRoundIntervalMs;
    setNotice(belowFloor ? QStringLiteral("Delay raised to %1 s")
                               .arg(QLocale().toString(MinimumRoundIntervalMs / 1000.0))
                         : QString());
    roundTimer_.start(static_cast<int>(delay));
}

void TraceSession::DoTrace() {
    const qint64 startedUtcUs = clock_.utcUs();
    state_.RoundStartsUtcUs.push_back(startedUtcUs);
    SetSamplesTaken(state_.SamplesTaken + 1);
    if (observer_) observer_->roundStarted(state_.SamplesTaken, startedUtcUs);
    reportedWorkerErrors_.clear();
    HopTable& hops = state_.HopList;
    const qint32 maxHop =
        hops.isEmpty() ? HopTable::MaxHops : std::min(hops.last().Hop, HopTable::MaxHops);
    AdjustPending(+1);  // keeps "Querying" up while the round is being launched
    RecalcScale();

    RoundLaunch launch;
    launch.tickMs = clock_.tickMs();
    launch.firstHop = ignoreFirstHop_ ? 2 : 1;
    qint32 hop = launch.firstHop;
    do {
        bool resolve = true;
        if (hops.count() >= hop) {
            const THostInfo& record = hops.at(hop - 1);
            if (record.Unreachable) break;
            resolve = record.DNSName.isEmpty();
        }
        HopProbeRequest request;
        request.trace = currentTrace_;
        request.target = state_.TargetAddress;
        request.hop = hop;
        request.resolveName = resolve;
        request.startDelayMs = (hop - 1) * HopStaggerMs;
        request.round = state_.SamplesTaken;
        bool launched = true;
        try {
            launcher_.launch(request, ProbeThreads);
        } catch (const std::exception& error) {
            // A worker that could not start never posts its completion; report it and go on
            // with the rest of the round.
            launched = false;
            const QString text = QString::fromLocal8Bit(error.what());
            if (!reportedWorkerErrors_.contains(text)) {
                reportedWorkerErrors_.insert(text);
                emit workerErrorRaised(text);
            }
        }
        if (launched) {
            AdjustPending(+1);
            launch.lastHop = hop;
            // Its position of this round waits for the result, neither answer nor loss.
            if (hops.count() >= hop) hops.at(hop - 1).MarkPending(state_.SamplesTaken);
        }
        ++hop;
    } while (hop <= maxHop);
    state_.RoundLaunches.push_back(launch);

    AdjustPending(-1);
    scheduleOverdueCheck();
}

template <typename Visit>
void TraceSession::forEachPendingProbe(const THostInfo& record, Visit visit) const {
    const qint64 patienceMs = OverdueAfterMs(record.LargestAnswerUs, launcher_.probeTimeoutMs());
    const std::vector<RoundLaunch>& launches = state_.RoundLaunches;
    for (size_t p = record.FirstUnsettled(); p < record.Samples.size(); ++p) {
        if (record.Samples[p].state != SampleState::Pending || p >= launches.size()) continue;
        // The hop's probe of round p + 1 left its stagger after the round's launch.
        const qint64 sentTickMs = launches[p].tickMs + qint64(record.Hop - 1) * HopStaggerMs;
        visit(p, sentTickMs + patienceMs);
    }
}

void TraceSession::CheckOverdue() {
    if (replay_) return;
    const qint64 now = clock_.tickMs();
    bool changed = false;
    for (int i = 0; i < state_.HopList.count(); ++i) {
        THostInfo& record = state_.HopList.at(i);
        bool recordChanged = false;
        forEachPendingProbe(record, [&](size_t position, qint64 dueTickMs) {
            if (now >= dueTickMs) recordChanged |= record.MarkOverdue(position);
        });
        if (recordChanged) {
            record.RecalcStats(state_.Window);
            changed = true;
        }
    }
    if (changed) emit refreshRequested();
    scheduleOverdueCheck();
}

void TraceSession::scheduleOverdueCheck() {
    if (replay_) return;
    std::optional<qint64> next;
    for (const THostInfo& record : state_.HopList) {
        forEachPendingProbe(record, [&](size_t, qint64 dueTickMs) {
            next = next ? std::min(*next, dueTickMs) : dueTickMs;
        });
    }
    if (!next) {
        overdueTimer_.stop();
        return;
    }
    const qint64 wait = std::clamp<qint64>(*next - clock_.tickMs(), 0, launcher_.probeTimeoutMs());
    overdueTimer_.start(static_cast<int>(wait));
}

void TraceSession::AdjustPending(qint32 delta) {
    qint32 before = 0;
    qint32 after = 0;
    {
        std::lock_guard lock(QueryLock);
        before = PendingQueries;
        // Only completions of counted workers arrive here, so the count cannot go below 0;
        // the clamp keeps a misbehaving worker from wedging the querying state on.
        PendingQueries = std::max(0, PendingQueries + delta);
        after = PendingQueries;
    }
    const bool raised = before == 0 && after != 0;
    const bool cleared = before != 0 && after == 0;
    if (raised) {
        emit pendingChanged(after);
    } else if (cleared) {
        if (observer_) observer_->roundCompleted();
        emit pendingChanged(after);
        ProbeThreads->post(new WorkerEvent(WM_RESCALE, currentTrace_));
    } else if (after != before) {
        emit pendingChanged(after);
    }
    if (cleared || (delta < 0 && after == 0)) emit queriesSettled();
}

void TraceSession::resetPending() {
    qint32 before = 0;
    {
        std::lock_guard lock(QueryLock);
        before = PendingQueries;
        PendingQueries = 0;
    }
    if (before != 0) emit pendingChanged(0);
}

void TraceSession::StopAllThreads() {
    // Their messages still queued or still to come carry the old trace id (or meet a trace
    // that goes on, after a plain stop), so nothing needs to be removed from the queue.
    ProbeThreads->terminateAll();
}

// ---------------------------------------------------------------- worker messages

bool TraceSession::event(QEvent* event) {
    if (event->type() == TargetResolvedEvent::Type) {
        OnTargetResolved(static_cast<const TargetResolvedEvent&>(*event));
        return true;
    }
    if (event->type() == TargetNamedEvent::Type) {
        OnTargetNamed(static_cast<const TargetNamedEvent&>(*event));
        return true;
    }
    if (!WorkerEvent::isWorkerMessage(event)) return QObject::event(event);
    auto& message = static_cast<WorkerEvent&>(*event);
    if (message.trace() != currentTrace_) return true;  // an earlier trace's: dropped
    switch (message.message()) {
        case WM_HOPRESULT:
            OnHopResult(message);
            break;
        case WM_HOPNAME:
            OnHopName(message);
            break;
        case WM_RESCALE:
            OnRescale();
            break;
        case WM_QUERYDONE:
            OnQueryDone();
            break;
        case WM_WORKERERROR:
            OnWorkerError(message);
            break;
    }
    return true;
}

void TraceSession::OnHopResult(WorkerEvent& event) {
    const std::unique_ptr<THostInfo> result = event.takeRecord();
    if (result) {
        if (observer_) observer_->probeMerged(*result);
        if (!result->UnreachableFrom.isEmpty() &&
            (state_.DestinationHop == 0 || result->Hop <= state_.DestinationHop)) {
            state_.UnreachableFrom = result->UnreachableFrom;
            // Why, as the router said it: the worker keeps the ICMP type and code it answered.
            state_.UnreachableCode = UnreachableCodeOf(
                TargetIP && TargetIP->isV6(), result->Detail.icmpType, result->Detail.icmpCode);
        }
        // Recognised by address: the text may be in any form a launcher writes.
        const bool fromTarget = !result->IP.isEmpty() && TargetIP &&
                                IpAddress::Parse(result->IP.toStdString()) == TargetIP;
        HopMerge::MergeResult(state_, result->Hop, result->AvgTime, result->Detail, result->IP,
                              fromTarget);
        // A new hop may wait on probes already out, and an answer may lengthen its hop's
        // patience.
        scheduleOverdueCheck();
    }
    updateShownHops();
    emit refreshRequested();
}

void TraceSession::updateShownHops() {
    // The count MarkPathEnd returns includes the grid's header row.
    const int hops = HopMerge::MarkPathEnd(state_.HopList) - 1;
    if (hops != shownHops_) {
        shownHops_ = hops;
        emit shownHopsChanged(hops);
    }
}

void TraceSession::OnHopName(WorkerEvent& event) {
    const std::unique_ptr<THostInfo> name = event.takeRecord();
    if (!name) return;
    if (observer_) observer_->nameLearnt(name->Hop, name->IP, name->DNSName);
    if (HopMerge::MergeName(state_.HopList, name->Hop, name->DNSName)) emit refreshRequested();
}

void TraceSession::OnRescale() {
    const qint32 before = state_.GraphScale;
    RecalcScale();
    if (state_.GraphScale != before) emit refreshRequested();
}

void TraceSession::OnQueryDone() {
    AdjustPending(-1);
}

void TraceSession::OnWorkerError(const WorkerEvent& event) {
    // Up to 35 workers of a round can fail the same way; one report is enough.
    if (reportedWorkerErrors_.contains(event.text())) return;
    reportedWorkerErrors_.insert(event.text());
    emit workerErrorRaised(event.text());
}

// ---------------------------------------------------------------- sample window and slider

void TraceSession::SetSamplesTaken(qint32 value) {
    state_.SamplesTaken = value;
    HistorySliderState slider = slider_;
    if (value < slider.position) slider.position = std::max(1, value);
    const bool atEnd = slider.position == slider.maximum;
    const qint32 count = sampleCount();

    SampleWindow& window = state_.Window;
    const qint32 oldFirst = window.FirstSample;
    const qint32 oldLast = window.LastSample;
    window.FirstSample = 0;
    if (value == 0 || count == 0) {
        window.LastSample = value - 1;
    } else {
        slider.maximum = std::max(1, value);
        if (atEnd) {
            slider.position = slider.maximum;
            window.FirstSample = std::max(0, value - count);
        } else {
            slider.position = std::min(slider.position, slider.maximum);
            window.FirstSample = slider.position - 1;
        }
        window.LastSample = window.FirstSample + count - 1;
    }
    if (window.LastSample > value - 1) window.LastSample = value - 1;
    setSlider(slider);

    if (window.FirstSample != oldFirst) state_.GraphScale = state_.HopList.RecalcAll(window);

    if (window.FirstSample != oldFirst || window.LastSample != oldLast) emit windowChanged();
    emit samplesTakenChanged(value);
}

QString TraceSession::editSampleCountChange(const QString& text) {
    sampleCountText_ = text == QStringLiteral("0") ? QStringLiteral("ALL") : text;
    SetSamplesTaken(state_.SamplesTaken);
    return sampleCountText_;
}

void TraceSession::tbTimeChange(qint32 position) {
    HistorySliderState slider = slider_;
    slider.position = std::clamp(position, 1, slider.maximum);
    setSlider(slider);
    SetSamplesTaken(state_.SamplesTaken);
    emit refreshRequested();
    RecalcScale();
}

qint32 TraceSession::sampleCount() const {
    return countFromText(sampleCountText_);
}

void TraceSession::RecalcScale() {
    state_.GraphScale = state_.HopList.RecalcScale();
}

// ---------------------------------------------------------------- outputs

void TraceSession::setRestartAvailable(bool available) {
    if (available == restartAvailable_) return;
    restartAvailable_ = available;
    emit restartAvailableChanged(available);
}

void TraceSession::setNotice(const QString& text) {
    if (text == noticeText_) return;
    noticeText_ = text;
    emit noticeChanged(text);
}

void TraceSession::setSlider(const HistorySliderState& slider) {
    if (slider == slider_) return;
    slider_ = slider;
    emit historySliderChanged(slider);
}

}  // namespace hoplark
