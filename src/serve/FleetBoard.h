#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "export/MetricsSnapshot.h"
#include "export/ReportFormatter.h"
#include "trace/TraceState.h"

namespace hoplark {

// A served trace as the report prints it, copied by the session's thread so that the server's
// thread formats it without touching the live session.
struct TraceDocument {
    QString target;
    TraceState state;
    int shownHops = 0;
    ReportContext context;
};

// What the sessions publish for the server: each target's figures after every round, behind a
// lock held only for a copy. The sessions' thread writes, the server's thread reads.
class FleetBoard {
public:
    explicit FleetBoard(size_t targets) : metrics_(targets) {}

    void publish(size_t slot, TargetMetrics metrics);
    std::vector<TargetMetrics> metrics() const;

private:
    mutable std::mutex lock_;
    std::vector<TargetMetrics> metrics_;
};

// Copies the documents of the traces named (every one when empty) on the sessions' thread.
// `context` lives on that thread; the call is queued to it. Returns nothing for an unknown
// target.
struct TraceDocumentSource {
    QObject* context = nullptr;
    std::function<std::vector<TraceDocument>(const std::optional<QString>& target)> documents;
};

}  // namespace hoplark
