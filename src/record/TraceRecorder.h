#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "record/BackgroundWriter.h"
#include "record/RecordingBatch.h"
#include "record/RecordingHeader.h"
#include "trace/TraceObserver.h"

namespace hoplark {

// Records every trace a session runs, one file per trace, as it runs. It buffers each round's
// rows on the UI thread and hands them to a writer thread when the round's workers have all
// reported (or the next round starts), so a crash loses at most the round in flight and the
// UI thread never waits for the disk. A failure to create or write a file stops recording that
// trace with one recordingFailed; the trace itself goes on.
class TraceRecorder : public QObject, public TraceObserver {
    Q_OBJECT

public:
    // The settings part of a new trace's header (version, packet size, time-out, delay...).
    using HeaderProvider = std::function<RecordingHeader()>;
    // Where a new trace's recording goes; an empty path records nothing. May throw
    // RecordingError.
    using PathChooser = std::function<QString(const RecordingHeader& header)>;

    TraceRecorder(HeaderProvider headers, PathChooser paths, QObject* parent = nullptr);
    ~TraceRecorder() override;

    // Writes what is buffered and closes the current recording.
    void finish();
    // Hands the buffered rows to the writer now (without closing).
    void flush();
    // Waits until everything handed over is on disk (tests and shut-down).
    void drain();

    // The file being written, or empty.
    QString currentPath() const { return writer_ ? path_ : QString(); }
    // The local address the last trace's probes left from, as written into its header.
    const QString& sourceAddress() const { return sourceAddress_; }

    // TraceObserver
    void traceStarted(const QString& typed, const QString& address, const QString& hostName,
                      qint64 startedUtcUs) override;
    void targetNamed(const QString& hostName) override;
    void roundStarted(qint32 round, qint64 startedUtcUs) override;
    void probeMerged(const THostInfo& result) override;
    void nameLearnt(qint32 hop, const QString& address, const QString& name) override;
    void roundCompleted() override;
    void traceStopped() override;

signals:
    void recordingStarted(const QString& path);
    // The recording of the current trace stopped; `message` says why.
    void recordingFailed(const QString& message);

private:
    void fail(const QString& message);

    HeaderProvider headers_;
    PathChooser paths_;
    std::unique_ptr<BackgroundWriter> writer_;
    QString path_;
    QString sourceAddress_;
    RecordingBatch batch_;
    qint64 probesSeen_ = 0;
    // Bumped at each new trace, so that a failure reported late for an earlier file is ignored.
    quint64 generation_ = 0;
};

}  // namespace hoplark
