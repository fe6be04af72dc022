#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>

#include "probe/NameService.h"
#include "trace/AddressChoice.h"
#include "trace/Clock.h"
#include "trace/ProbeLauncher.h"
#include "trace/TargetResolver.h"
#include "trace/TraceObserver.h"
#include "trace/TraceState.h"
#include "trace/WorkerChannel.h"
#include "trace/WorkerEvent.h"

namespace hoplark {

// The history slider under the grid, kept as plain numbers: the window mirrors them into its
// track bar. Position is a 1-based round number within [1, maximum].
struct HistorySliderState {
    qint32 position = 1;
    qint32 maximum = 1;

    bool operator==(const HistorySliderState&) const = default;
};

// One trace to a target, without any widgets: resolves the target, launches a sampling round at
// once and then one per delay, merges the workers' results and names into the hop table, finds
// the destination hop, marks an unreachable path end, stops by round limit or on request, and
// keeps the statistics window and history slider. The main window and the report mode drive it
// and mirror its signals into their controls. Everything runs on the thread that owns it (the
// UI thread); workers reach it only through the WorkerChannel, whose receiver it is.
class TraceSession : public QObject {
    Q_OBJECT

public:
    // The round delay in milliseconds, read afresh before every re-arm (the window's
    // GetDelayMs on its delay field). May throw HoplarkError.
    using DelayProvider = std::function<qint32()>;

    // Round timer re-arm when a launch took too long or the delay is unusable.
    static constexpr qint32 DefaultDelayMs = 15000;
    // Launches that took less than this are taken off the next interval.
    static constexpr qint64 LaunchCompensationLimitMs = 500;
    // The round timer is never armed for less: a shorter delay would launch 35 workers every
    // few milliseconds (Linux ping allows a user no faster pace either).
    static constexpr qint32 MinimumRoundIntervalMs = 200;
    // Start delay between the workers of one round, per hop.
    static constexpr qint32 HopStaggerMs = 25;

    // The session shares ownership of `names`: a target lookup still under way when the
    // session goes ends safely on its own.
    TraceSession(ProbeLauncher& launcher, std::shared_ptr<NameService> names, const Clock& clock,
                 QObject* parent = nullptr);
    // Borrows `names`; the destructor waits for a target lookup under way.
    TraceSession(ProbeLauncher& launcher, NameService& names, const Clock& clock,
                 QObject* parent = nullptr);
    // Asks every live worker to stop; their late messages go nowhere.
    ~TraceSession() override;

    // --- Inputs from the driver; each takes effect at the next round ---
    void setDelayProvider(DelayProvider provider) { delayProvider_ = std::move(provider); }
    // Round limit as typed ("Unlimited", "0" or any non-integer: no limit).
    void setTraceCountText(const QString& text) { traceCountText_ = text; }
    void setIgnoreFirstHop(bool ignore) { ignoreFirstHop_ = ignore; }
    // Who is told of every round, result and name (a recording); null for no one. Not owned.
    void setObserver(TraceObserver* observer) { observer_ = observer; }
    TraceObserver* observer() const { return observer_; }

    // --- User actions ---
    // Starts a new trace to `destination` as typed: clears the table and looks the target up
    // off this thread (isStarting() true meanwhile). When the answer arrives
    // the target is shown, recorded and the first round launched at once. A typed address needs
    // no lookup before its first round: its reverse name is looked up beside the trace
    // (isNamingTarget()) and reaches the header and the recording when it comes. A start that
    // fails ("Host name or IP Address required.", "Host: x could not be found!") emits startFailed
    // after undoing its visible changes, leaving the session not tracing with an empty table;
    // text that can be refused without a lookup fails before this returns. A delay error of
    // the first round stops the trace and emits errorRaised (the restart stays available).
    void StartTrace(const QString& destination);
    // Stops scheduling rounds; launched workers still report. Offers the restart. During a
    // start's lookups it cancels the start instead: nothing to restart, nothing reported.
    void StopTrace();
    // Resumes a stopped trace with its data. Does nothing unless the restart is available.
    // Throws HoplarkError like StartTrace for a delay error.
    void RestartTrace();
    // The refusal message for a destination holding a control character (a pasted line break
    // must never reach the resolver, the probes or the history), or empty when it holds none.
    static QString ControlCharacterRefusal(const QString& destination);
    // The destination text was edited: a stopped trace can only be started anew.
    void editDestinationChange();
    // Shows a stored trace: stops any live one, takes `state` as the table (its samples, round
    // times and target) and measures it over the current sample window and slider. No probe
    // is sent and no restart is offered; a new start traces live again.
    void LoadReplay(TraceState state);
    // True while the table shown is a stored trace rather than a live one.
    bool isReplay() const { return replay_; }

    // The round timer's tick: launches a round, checks the round limit and re-arms. Called by
    // the session's own timer (which reports a delay error through errorRaised) and directly.
    // A delay error stops the trace and is rethrown as HoplarkError.
    void tmrTraceTimer();

    // The sample-count text changed. Returns the text the field should show ("0" becomes
    // "ALL"); any non-integer counts as all rounds.
    QString editSampleCountChange(const QString& text);
    // The user moved the history slider to `position`.
    void tbTimeChange(qint32 position);

    // --- Controller operations, public for the driver's shut-down and for tests ---
    void DoTrace();
    void AdjustPending(qint32 delta);
    void StopAllThreads();
    void SetSamplesTaken(qint32 value);
    void RecalcScale();
    // Probes out longer than their hop's patience (OverdueAfterMs) become overdue and count as
    // lost in the window's figures. Runs on its own timer at the next such moment.
    void CheckOverdue();

    // --- What the session holds ---
    const TraceState& state() const { return state_; }
    bool isTracing() const { return Tracing; }
    // A start is waiting for its target lookups.
    bool isStarting() const { return starting_; }
    // The reverse name of a target typed as an address is still being looked up.
    bool isNamingTarget() const { return namingTarget_; }
    const std::optional<IpAddress>& targetIP() const { return TargetIP; }
    // Which of a name's addresses the next trace takes.
    void setAddressChoice(AddressChoice choice) { addressChoice_ = choice; }
    AddressChoice addressChoice() const { return addressChoice_; }
    qint32 pendingQueries() const;
    TraceId currentTrace() const { return currentTrace_; }
    bool restartAvailable() const { return restartAvailable_; }
    const HistorySliderState& historySlider() const { return slider_; }
    const QString& sampleCountText() const { return sampleCountText_; }
    // The rounds the statistics window spans; 0 for all of them (no count set).
    qint32 sampleCount() const;
    // What the user should know about the pace: set while the delay is below the floor.
    const QString& noticeText() const { return noticeText_; }
    // Hop rows the grid shows: up to the path's end, at least the first hop of a table with one.
    int shownHops() const { return shownHops_; }
    bool roundTimerActive() const { return roundTimer_.isActive(); }
    int roundTimerIntervalMs() const { return roundTimer_.interval(); }
    // The channel handed to every worker ("ProbeThreads" and the way back to the session).
    const std::shared_ptr<WorkerChannel>& channel() const { return ProbeThreads; }

signals:
    // Every worker launched for this trace has reported its end: nothing more is to come until
    // the next round. What a driver that waits for a trace's end listens to.
    void queriesSettled();
    // The number of this trace's workers out (plus one while a round is being launched)
    // changed. Workers of earlier traces are not counted.
    void pendingChanged(int pending);
    // Tracing began or ended: button caption "&Stop" / "&Trace", destination field and history
    // list disabled / enabled.
    void tracingChanged(bool tracing);
    // The "Restart Trace" menu is attached to (true) or removed from the trace button.
    void restartAvailableChanged(bool available);
    // The target was resolved: plain dotted address and host name (possibly empty).
    void targetResolved(const QString& address, const QString& hostName);
    // The target's reverse name began or ended being looked up (whether a name came or not).
    void targetNamingChanged(bool naming);
    // A start began waiting for its lookups (true) or stopped waiting (false: it went on,
    // failed or was cancelled). The trace button reads "&Stop" while it waits.
    void startingChanged(bool starting);
    // A start failed; the message is for the user's error box.
    void startFailed(const QString& message);
    // The target resolved and the trace is about to run: record the text in the history list.
    void destinationAccepted(const QString& typedText);
    // The number of hop rows to show changed; also sent after a stored trace is loaded, whose
    // rows are all new even when as many.
    void shownHopsChanged(int hops);
    // The table or the scale changed: schedule one repaint.
    void refreshRequested();
    // Show the colour legend.
    void legendRequested();
    // The rounds taken were set (sent at every setting, changed or not, so that whoever shows
    // the count shows it from the first start on).
    void samplesTakenChanged(int samplesTaken);
    // The statistics window (state().Window) moved or changed its size.
    void windowChanged();
    void historySliderChanged(const HistorySliderState& slider);
    // The pace notice changed (empty: nothing to tell).
    void noticeChanged(const QString& text);
    // A worker failed; each distinct text is reported once per round.
    void workerErrorRaised(const QString& text);
    // A failure of the session's own round timer (a delay that cannot be read). The trace has
    // been stopped.
    void errorRaised(const QString& message);

protected:
    bool event(QEvent* event) override;

private:
    void setUpRoundTimer();
    void onRoundTimer();
    void OnHopResult(WorkerEvent& event);
    void OnHopName(WorkerEvent& event);
    void OnRescale();
    void OnQueryDone();
    void OnWorkerError(const WorkerEvent& event);

    void failStart(const QString& message);
    void OnTargetResolved(const TargetResolvedEvent& event);
    void OnTargetNamed(const TargetNamedEvent& event);
    void setNamingTarget(bool naming);
    void setStarting(bool starting);
    void armRoundTimer(qint64 launchStartedMs);
    void updateShownHops();
    void resetPending();
    void setRestartAvailable(bool available);
    void setSlider(const HistorySliderState& slider);
    void setNotice(const QString& text);
    void scheduleOverdueCheck();
    // Calls visit(position, dueTickMs) for each of `record`'s probes still pending, with the
    // moment it becomes overdue.
    template <typename Visit>
    void forEachPendingProbe(const THostInfo& record, Visit visit) const;

    ProbeLauncher& launcher_;
    TargetResolver resolver_;
    const Clock& clock_;
    DelayProvider delayProvider_;
    QString traceCountText_;
    QString sampleCountText_ = QStringLiteral("10");
    bool ignoreFirstHop_ = false;

    TraceState state_;
    bool Tracing = false;
    bool replay_ = false;
    TraceObserver* observer_ = nullptr;
    std::optional<IpAddress> TargetIP;
    AddressChoice addressChoice_ = AddressChoice::ResolverOrder;
    // The target's address in the plain dotted form answers name their responder in, for
    // recognising the destination whatever form the user typed; empty while there is none.
    // Workers of the current trace launched whose WM_QUERYDONE has not arrived, plus 1 while a
    // round is being launched. Workers of earlier traces are not counted: their messages are
    // dropped by trace id, so a new start begins at 0.
    qint32 PendingQueries = 0;
    mutable std::mutex QueryLock;
    std::shared_ptr<WorkerChannel> ProbeThreads;
    TraceId currentTrace_ = 0;
    // The start waiting for its lookups, and the text it was given.
    bool starting_ = false;
    quint64 startRequest_ = 0;
    QString startDestination_;
    // The target's reverse name is on its way; its answer carries the trace id it was asked for.
    bool namingTarget_ = false;

    QTimer roundTimer_;
    QTimer overdueTimer_;
    bool restartAvailable_ = false;
    HistorySliderState slider_;
    QString noticeText_;
    int shownHops_ = 0;
    // Worker failure texts already reported in the current round.
    QSet<QString> reportedWorkerErrors_;
};

}  // namespace hoplark
