#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

#include "record/TraceRecorder.h"
#include "serve/FleetBoard.h"
#include "serve/TargetTally.h"
#include "trace/Clock.h"
#include "trace/ThreadProbeLauncher.h"
#include "trace/TraceSession.h"

namespace hoplark {

// How one served target is traced.
struct ServedTraceSettings {
    QString target;
    QString delayText = QStringLiteral("1 Second");
    qint32 delayMs = 1000;
    // The statistics window in rounds; 0 for every round of the day's trace.
    qint32 samples = 60;
    qint32 timeoutMs = ThreadProbeLauncher::DefaultTimeoutMs;
    bool ignoreFirstHop = false;
    AddressChoice addressChoice = AddressChoice::ResolverOrder;
};

// Where served traces are recorded, and the folder's size cap.
struct ServedRecording {
    QString folder;
    qint64 maxBytes = 0;
    TraceRecorder::HeaderProvider headers;
};

// One target traced without end: its own session, launcher and tally, sharing the process's
// echo facility and name service. Its trace starts anew at every UTC midnight, so that a trace
// of weeks holds one day of rounds and each day gets a recording of its own, while the tally's
// counters carry on. A target that cannot be resolved, or whose trace fails, is reported and
// tried again after RetryDelayMs. After every round the figures go to `board`.
class FleetTarget : public QObject {
    Q_OBJECT

public:
    static constexpr int RetryDelayMs = 30000;
    static constexpr qint64 WorkerErrorRepeatMs = 60000;

    FleetTarget(ServedTraceSettings settings, std::shared_ptr<EchoService> echo,
                std::shared_ptr<NameService> names, const Clock& clock, FleetBoard& board,
                size_t slot, const std::optional<ServedRecording>& recording,
                QObject* parent = nullptr);
    ~FleetTarget() override;

    void start();
    // Stops the trace and writes what the recording holds.
    void stop();

    const QString& target() const { return settings_.target; }
    // The trace as the report would print it now.
    TraceDocument document() const;
    const TraceSession& session() const { return session_; }

signals:
    // Something the operator should read: a target that cannot be resolved, a recording that
    // stopped. The trace carries on or is tried again.
    void problem(const QString& message);

private:
    void publish();
    void schedulePublish();
    void retryLater(const QString& message);
    void armDailyRestart();

    ServedTraceSettings settings_;
    const Clock& clock_;
    FleetBoard& board_;
    size_t slot_;
    ThreadProbeLauncher launcher_;
    TraceSession session_;
    TargetTally tally_;
    // Null unless the traces are recorded; told of everything after the tally.
    std::unique_ptr<TraceRecorder> recorder_;
    QTimer retryTimer_;
    QTimer dailyTimer_;
    // The local address the probes leave from, for the document's context.
    QString sourceAddress_;
    bool publishQueued_ = false;
    // The last worker failure told, and when.
    QString lastWorkerError_;
    qint64 lastWorkerErrorMs_ = 0;
};

}  // namespace hoplark
