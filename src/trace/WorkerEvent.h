#pragma once

#include <QEvent>
#include <QString>
#include <memory>

#include "trace/HostInfo.h"

namespace hoplark {

// Messages from the hop workers (and the session itself) to the trace session on the UI thread.
// The numbers are the program's message numbers, counted from the first user message.
enum WorkerMessage : int {
    WM_HOPRESULT = 1025,   // a record carrying Hop, IP and the new sample in AvgTime
    WM_RESCALE = 1026,     // recompute the graph scale
    WM_QUERYDONE = 1028,   // a worker has ended
    WM_HOPNAME = 1030,     // a record carrying Hop, IP and DNSName
    WM_WORKERERROR = 1031  // a failure on a worker, to be shown by the UI thread (text())
};

// Every trace start gets a new id; workers and their messages carry the id of the trace that
// launched them, so nothing of an earlier trace reaches a later one.
using TraceId = quint64;

// One posted message. A record, once posted, belongs to the receiver.
class WorkerEvent : public QEvent {
public:
    WorkerEvent(WorkerMessage message, TraceId trace, std::unique_ptr<THostInfo> record = {})
        : QEvent(static_cast<QEvent::Type>(message)), trace_(trace), record_(std::move(record)) {}

    static WorkerEvent* error(TraceId trace, const QString& text) {
        auto* event = new WorkerEvent(WM_WORKERERROR, trace);
        event->text_ = text;
        return event;
    }

    WorkerMessage message() const { return static_cast<WorkerMessage>(type()); }
    TraceId trace() const { return trace_; }
    const THostInfo* record() const { return record_.get(); }
    std::unique_ptr<THostInfo> takeRecord() { return std::move(record_); }
    const QString& text() const { return text_; }

    static bool isWorkerMessage(const QEvent* event) {
        const int t = event->type();
        return t == WM_HOPRESULT || t == WM_RESCALE || t == WM_QUERYDONE || t == WM_HOPNAME ||
               t == WM_WORKERERROR;
    }

private:
    TraceId trace_;
    std::unique_ptr<THostInfo> record_;
    QString text_;
};

}  // namespace hoplark
