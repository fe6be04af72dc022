#include "record/TraceRecorder.h"

#include <QDateTime>

#include "record/RecordingError.h"
#include "trace/AddressText.h"

namespace hoplark {

TraceRecorder::TraceRecorder(HeaderProvider headers, PathChooser paths, QObject* parent)
    : QObject(parent), headers_(std::move(headers)), paths_(std::move(paths)) {}

TraceRecorder::~TraceRecorder() {
    finish();
}

void TraceRecorder::finish() {
    flush();
    writer_.reset();  // writes what is queued and ends the thread
    batch_ = {};
}

void TraceRecorder::flush() {
    if (!writer_ || batch_.empty()) return;
    writer_->submit(std::move(batch_));
    batch_ = {};
}

void TraceRecorder::drain() {
    flush();
    if (writer_) writer_->drain();
}

void TraceRecorder::fail(const QString& message) {
    writer_.reset();
    batch_ = {};
    emit recordingFailed(message);
}

void TraceRecorder::traceStarted(const QString& typed, const QString& address,
                                 const QString& hostName, qint64 startedUtcUs) {
    finish();
    ++generation_;
    probesSeen_ = 0;
    RecordingHeader header = headers_ ? headers_() : RecordingHeader{};
    header.target = typed;
    header.address = address;
    header.hostName = hostName;
    header.startedUtcUs = startedUtcUs;
    header.sourceAddress = SourceAddressTextToward(address);
    sourceAddress_ = header.sourceAddress;

    try {
        path_ = paths_ ? paths_(header) : QString();
        if (path_.isEmpty()) return;
        auto writer = std::make_unique<RecordingWriter>(path_, header);
        const quint64 generation = generation_;
        writer_ = std::make_unique<BackgroundWriter>(
            std::move(writer), [this, generation](const QString& message) {
                // From the writer's thread: the message is shown, and the writer closed, on the
                // UI thread.
                QMetaObject::invokeMethod(
                    this,
                    [this, generation, message] {
                        if (generation == generation_ && writer_) fail(message);
                    },
                    Qt::QueuedConnection);
            });
    } catch (const RecordingError& error) {
        // Reported after the start has finished, so no message box opens inside it.
        const QString message = error.message();
        const quint64 generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation, message] {
                if (generation == generation_) emit recordingFailed(message);
            },
            Qt::QueuedConnection);
        return;
    }
    emit recordingStarted(path_);
}

void TraceRecorder::targetNamed(const QString& hostName) {
    if (!writer_) return;
    batch_.targetHostName = hostName;
}

void TraceRecorder::roundStarted(qint32 round, qint64 startedUtcUs) {
    if (!writer_) return;
    flush();
    batch_.rounds.push_back({round, startedUtcUs});
}

void TraceRecorder::probeMerged(const THostInfo& result) {
    ++probesSeen_;
    if (!writer_) return;
    RecordedProbe probe;
    probe.round = result.Detail.round;
    probe.hop = result.Hop;
    probe.sentUtcUs = result.Detail.sentUtcUs;
    probe.sampleMs = result.AvgTime;
    probe.roundTripUs = result.Detail.roundTripUs;
    probe.responder = result.IP;
    probe.icmpType = result.Detail.icmpType;
    probe.icmpCode = result.Detail.icmpCode;
    probe.clock = result.Detail.clock;
    batch_.probes.push_back(std::move(probe));
}

void TraceRecorder::nameLearnt(qint32 hop, const QString& address, const QString& name) {
    if (!writer_) return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000;
    batch_.names.push_back({probesSeen_, hop, address, name, now});
}

void TraceRecorder::roundCompleted() {
    flush();
}

void TraceRecorder::traceStopped() {
    flush();
}

}  // namespace hoplark
