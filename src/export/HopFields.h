#pragma once

#include <QLatin1String>
#include <QStringList>
#include <vector>

#include "export/ExportValue.h"
#include "trace/HopEvidence.h"
#include "trace/HostInfo.h"

namespace hoplark {

// One named value of a hop's row.
struct ExportField {
    QLatin1String name;
    ExportValue value;
};

// Which of a hop's fields an export writes. Every export that writes a field writes it under the
// same name with the same meaning:
//  - Basic: hop, lost_total (lost samples merged over the whole trace), ip, name, avg, min, max,
//    cur (whole milliseconds as the window shows them, empty without a valid sample),
//    unreachable;
//  - Window: over the statistics window's rounds, pending ones left out: loss_pct, sent,
//    received, lost (lost or overdue), pending, avg_ms, min_ms, max_ms, cur_ms, stdev_ms,
//    jitter_ms, rfc3550_jitter_ms, p50_ms, p95_ms (milliseconds to three places), clock;
//  - Evidence: path_loss_pct, window_samples and window_lost (the rounds the loss verdict
//    weighs), not_forwarded_loss, rate_limited, loss_verdict.
enum HopFieldSet : unsigned { BasicFields = 1, WindowFields = 2, EvidenceFields = 4 };

std::vector<ExportField> HopFields(const THostInfo& record, const HopEvidence& summary,
                                   unsigned sets);
QStringList HopFieldNames(unsigned sets);
// The same fields as CSV text, in the order of HopFieldNames.
QStringList HopCsvRow(const THostInfo& record, const HopEvidence& summary, unsigned sets);

// "rate-limited", "loss", or empty for no verdict.
QString LossVerdictName(LossVerdict verdict);
// "answered", "lost", "overdue", "pending" or "not_probed".
QLatin1String SampleStateName(SampleState state);
// The name a hop shows: nothing for a hop whose reverse lookup found none.
QString ShownName(const THostInfo& record);

}  // namespace hoplark
