#include "export/HopFields.h"

namespace hoplark {

namespace {

constexpr int MsDecimals = 3;

ExportValue msValue(const std::optional<double>& us) {
    return us ? ExportValue::number(*us / 1000.0, MsDecimals) : ExportValue::none();
}

ExportValue percentValue(const std::optional<double>& percent) {
    return percent ? ExportValue::number(*percent, 3) : ExportValue::none();
}

void addBasic(std::vector<ExportField>& fields, const THostInfo& record,
              const WindowStatistics& stats) {
    const bool measured = !record.Unreachable && stats.valid > 0;
    const bool currentValid = !record.Unreachable && stats.current >= 0 &&
                              record.Samples[static_cast<size_t>(stats.current)].valid();
    const auto whole = [measured](qint32 ms) {
        return measured ? ExportValue::integer(ms) : ExportValue::none();
    };
    fields.push_back({QLatin1String("hop"), ExportValue::integer(record.Hop)});
    fields.push_back({QLatin1String("lost_total"), record.Unreachable
                                                       ? ExportValue::none()
                                                       : ExportValue::integer(record.LostCount)});
    fields.push_back({QLatin1String("ip"), ExportValue::text(record.IP)});
    fields.push_back({QLatin1String("name"), ExportValue::text(ShownName(record))});
    fields.push_back({QLatin1String("avg"), whole(record.AvgTime)});
    fields.push_back({QLatin1String("min"), whole(record.MinTime)});
    fields.push_back({QLatin1String("max"), whole(record.MaxTime)});
    fields.push_back(
        {QLatin1String("cur"),
         currentValid ? ExportValue::integer(record.Samples[static_cast<size_t>(stats.current)].ms)
                      : ExportValue::none()});
    fields.push_back({QLatin1String("unreachable"), ExportValue::boolean(record.Unreachable)});
}

void addWindow(std::vector<ExportField>& fields, const THostInfo& record,
               const WindowStatistics& stats) {
    const std::optional<double> currentUs =
        stats.current >= 0 && record.SampleUs(static_cast<size_t>(stats.current)) >= 0
            ? std::optional<double>(record.SampleUs(static_cast<size_t>(stats.current)))
            : std::nullopt;
    fields.push_back({QLatin1String("loss_pct"), percentValue(stats.lossPercent)});
    fields.push_back({QLatin1String("sent"), ExportValue::integer(stats.sent)});
    fields.push_back({QLatin1String("received"), ExportValue::integer(stats.received)});
    fields.push_back({QLatin1String("lost"), ExportValue::integer(stats.lost)});
    fields.push_back({QLatin1String("pending"), ExportValue::integer(stats.pending)});
    fields.push_back({QLatin1String("avg_ms"), msValue(stats.meanUs)});
    fields.push_back({QLatin1String("min_ms"), msValue(stats.minUs)});
    fields.push_back({QLatin1String("max_ms"), msValue(stats.maxUs)});
    fields.push_back({QLatin1String("cur_ms"), msValue(currentUs)});
    fields.push_back({QLatin1String("stdev_ms"), msValue(stats.stdevUs)});
    fields.push_back({QLatin1String("jitter_ms"), msValue(stats.jitterUs)});
    fields.push_back({QLatin1String("rfc3550_jitter_ms"), msValue(stats.rfc3550JitterUs)});
    fields.push_back({QLatin1String("p50_ms"), msValue(stats.medianUs)});
    fields.push_back({QLatin1String("p95_ms"), msValue(stats.p95Us)});
    fields.push_back({QLatin1String("clock"),
                      stats.clock ? ExportValue::text(QLatin1String(SampleClockName(*stats.clock)))
                                  : ExportValue::none()});
}

void addEvidence(std::vector<ExportField>& fields, const HopEvidence& summary) {
    const LossCounts& loss = summary.loss;
    const QString verdict = LossVerdictName(summary.verdict);
    fields.push_back({QLatin1String("path_loss_pct"), percentValue(summary.pathLossPercent)});
    fields.push_back({QLatin1String("window_samples"), ExportValue::integer(loss.samples)});
    fields.push_back({QLatin1String("window_lost"), ExportValue::integer(loss.lost)});
    fields.push_back(
        {QLatin1String("not_forwarded_loss"), ExportValue::integer(loss.notForwarded)});
    fields.push_back({QLatin1String("rate_limited"),
                      ExportValue::boolean(summary.verdict == LossVerdict::RateLimited)});
    fields.push_back({QLatin1String("loss_verdict"),
                      verdict.isEmpty() ? ExportValue::none() : ExportValue::text(verdict)});
}

}  // namespace

std::vector<ExportField> HopFields(const THostInfo& record, const HopEvidence& summary,
                                   unsigned sets) {
    std::vector<ExportField> fields;
    fields.reserve(32);
    if (sets & BasicFields) addBasic(fields, record, summary.stats);
    if (sets & WindowFields) addWindow(fields, record, summary.stats);
    if (sets & EvidenceFields) addEvidence(fields, summary);
    return fields;
}

QStringList HopFieldNames(unsigned sets) {
    const THostInfo sample(1);
    QStringList names;
    for (const ExportField& field : HopFields(sample, HopEvidence{}, sets))
        names << QString(field.name);
    return names;
}

QStringList HopCsvRow(const THostInfo& record, const HopEvidence& summary, unsigned sets) {
    QStringList row;
    for (const ExportField& field : HopFields(record, summary, sets))
        row << field.value.csv();
    return row;
}

QString LossVerdictName(LossVerdict verdict) {
    switch (verdict) {
        case LossVerdict::RateLimited:
            return QStringLiteral("rate-limited");
        case LossVerdict::Loss:
            return QStringLiteral("loss");
        case LossVerdict::None:
            break;
    }
    return QString();
}

QLatin1String SampleStateName(SampleState state) {
    switch (state) {
        case SampleState::Answered:
            return QLatin1String("answered");
        case SampleState::Lost:
            return QLatin1String("lost");
        case SampleState::Overdue:
            return QLatin1String("overdue");
        case SampleState::Pending:
            return QLatin1String("pending");
        case SampleState::NotProbed:
            break;
    }
    return QLatin1String("not_probed");
}

QString ShownName(const THostInfo& record) {
    return record.DNSName == NO_NAME ? QString() : record.DNSName;
}

}  // namespace hoplark
