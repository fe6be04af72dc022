#include "app/ReportFormatter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "trace/PathEvidence.h"
#include "trace/WindowStatistics.h"

namespace hoplark {

namespace {

// The name as shown: nothing for a hop whose reverse lookup found none.
QString nameOf(const THostInfo& hop) {
    return hop.DNSName == NO_NAME ? QString() : hop.DNSName;
}

// ISO 8601 in UTC with seconds, or empty for an unknown time.
QString utcText(qint64 utcUs) {
    if (utcUs <= 0) return {};
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, Qt::UTC).toString(Qt::ISODate);
}

QString csvField(const QString& field) {
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') &&
        !field.contains(u'\r')) {
        return field;
    }
    QString quoted = field;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString verdictText(LossVerdict verdict) {
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

// What the statistics window shows beyond the timings: who answered, and what the lost
// samples say about the path.
void addEvidence(QJsonObject& entry, const HopEvidence& evidence) {
    QJsonArray responders;
    for (const ResponderShare& share : evidence.responders) {
        QJsonObject responder;
        responder[QStringLiteral("address")] = share.address;
        responder[QStringLiteral("count")] = share.answers;
        responders.append(responder);
    }
    const LossCounts& loss = evidence.loss;
    entry[QStringLiteral("responders")] = responders;
    entry[QStringLiteral("window_samples")] = loss.samples;
    entry[QStringLiteral("window_lost")] = loss.lost;
    entry[QStringLiteral("not_forwarded_loss")] = loss.notForwarded;
    entry[QStringLiteral("path_loss")] = loss.pathLoss;
    entry[QStringLiteral("path_loss_pct")] =
        loss.samples > 0 ? 100.0 * loss.pathLoss / loss.samples : 0.0;
    entry[QStringLiteral("rate_limited")] = evidence.verdict == LossVerdict::RateLimited;
    const QString verdict = verdictText(evidence.verdict);
    entry[QStringLiteral("loss_verdict")] = verdict.isEmpty() ? QJsonValue() : QJsonValue(verdict);
}

// Microseconds as milliseconds with `decimals` places; empty when absent.
QString msText(const std::optional<double>& us, int decimals) {
    return us ? QString::number(*us / 1000.0, 'f', decimals) : QString();
}

// Microseconds as a JSON number of milliseconds rounded to three places, or null.
QJsonValue msJson(const std::optional<double>& us) {
    return us ? QJsonValue(std::round(*us) / 1000.0) : QJsonValue();
}

// The figures the window has for a hop; the marker row was never measured.
WindowStatistics statisticsOf(const THostInfo& hop, const SampleWindow& window) {
    return hop.Unreachable ? WindowStatistics{} : ComputeWindowStatistics(hop, window);
}

// The current sample as the report prints it: only when the window holds a position of the list
// and that sample is valid.
std::optional<qint32> currentOf(const THostInfo& hop, const WindowStatistics& stats) {
    if (hop.Unreachable || stats.sent == 0 || hop.CurTime < 0 || hop.CurTime >= LOST_SAMPLE)
        return std::nullopt;
    return hop.CurTime;
}

}  // namespace

ReportFormatter::ReportFormatter(const TraceState& state, QString target, int shownHops, bool wide)
    : state_(state),
      target_(std::move(target)),
      shownHops_(std::clamp(shownHops, 0, state.HopList.count())),
      wide_(wide) {}

QString ReportFormatter::format(ReportFormat format) const {
    switch (format) {
        case ReportFormat::Csv:
            return csv();
        case ReportFormat::Json:
            return json();
        case ReportFormat::Text:
            break;
    }
    return text();
}

QString ReportFormatter::text() const {
    QString out;
    out += QStringLiteral("Target: %1\n").arg(target_);
    out += QStringLiteral("Address: %1\n").arg(state_.TargetAddress);
    out += QStringLiteral("Host name: %1\n").arg(state_.HostName);
    out += QStringLiteral("Rounds: %1\n").arg(state_.SamplesTaken);
    if (context_) {
        out += QStringLiteral("Source address: %1\n").arg(context_->sourceAddress);
        out += QStringLiteral("Started (UTC): %1\n").arg(utcText(context_->startedUtcUs));
        out += QStringLiteral("Ended (UTC): %1\n").arg(utcText(context_->endedUtcUs));
        out +=
            QStringLiteral("Delay: %1 (%2 ms)\n").arg(context_->delayText).arg(context_->delayMs);
        out += QStringLiteral("Version: Hoplark %1\n").arg(context_->version);
    }
    out += u'\n';

    QStringList header = {QStringLiteral("Hop"),  QStringLiteral("Lost"), QStringLiteral("Address"),
                          QStringLiteral("Name"), QStringLiteral("Avg"),  QStringLiteral("Min"),
                          QStringLiteral("Max"),  QStringLiteral("Cur")};
    if (wide_) {
        header << QStringLiteral("Loss%") << QStringLiteral("Snt") << QStringLiteral("Avg")
               << QStringLiteral("Best") << QStringLiteral("Wrst") << QStringLiteral("StDev")
               << QStringLiteral("Jttr");
    }
    std::vector<QStringList> rows;
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        if (hop.Unreachable) {
            QStringList row = {QString::number(hop.Hop), QString(), QString(), hop.DNSName};
            while (row.size() < header.size())
                row << QString();
            rows.push_back(row);
            continue;
        }
        // A window without a valid sample has no figures: a 0 would read as a measured 0 ms.
        const WindowStatistics stats = statisticsOf(hop, state_.Window);
        const bool measured = stats.valid > 0;
        const QString star = QStringLiteral("*");
        const auto current = currentOf(hop, stats);
        QStringList row = {QString::number(hop.Hop),
                           QString::number(hop.LostCount),
                           hop.IP,
                           nameOf(hop),
                           measured ? QString::number(hop.AvgTime) : star,
                           measured ? QString::number(hop.MinTime) : star,
                           measured ? QString::number(hop.MaxTime) : star,
                           current ? QString::number(*current) : star};
        if (wide_) {
            const auto figure = [&](const std::optional<double>& us) {
                return measured ? msText(us, 2) : star;
            };
            row << (stats.lossPercent ? QString::number(*stats.lossPercent, 'f', 1) + u'%' : star)
                << QString::number(stats.sent) << figure(stats.meanUs) << figure(stats.minUs)
                << figure(stats.maxUs) << figure(stats.stdevUs) << figure(stats.jitterUs);
        }
        rows.push_back(row);
    }

    std::vector<qsizetype> widths(header.size());
    for (qsizetype c = 0; c < header.size(); ++c)
        widths[c] = header[c].size();
    for (const QStringList& row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    // Numbers right-aligned, address and name left-aligned; the unreachable name may run on.
    auto line = [&](const QStringList& row) {
        QStringList cells;
        for (qsizetype c = 0; c < row.size(); ++c) {
            const bool leftAligned = c == 2 || c == 3;
            cells << (leftAligned ? row[c].leftJustified(widths[c])
                                  : row[c].rightJustified(widths[c]));
        }
        QString joined = cells.join(QStringLiteral("  "));
        while (joined.endsWith(u' '))
            joined.chop(1);
        return joined + u'\n';
    };
    out += line(header);
    for (const QStringList& row : rows)
        out += line(row);
    return out;
}

QString ReportFormatter::csv() const {
    QString out;
    if (context_) {
        const std::pair<const char*, QString> lines[] = {
            {"target", target_},
            {"address", state_.TargetAddress},
            {"source_address", context_->sourceAddress},
            {"started_utc", utcText(context_->startedUtcUs)},
            {"ended_utc", utcText(context_->endedUtcUs)},
            {"rounds", QString::number(state_.SamplesTaken)},
            {"delay_ms", QString::number(context_->delayMs)},
            {"version", context_->version},
        };
        for (const auto& [key, value] : lines)
            out += QStringLiteral("# %1: %2\r\n").arg(QLatin1String(key), value);
    }
    out += QStringLiteral("hop,lost,ip,name,avg,min,max,cur,unreachable");
    if (wide_) {
        out += QStringLiteral(
            ",loss_pct,sent,received,avg_ms,min_ms,max_ms,stdev_ms,jitter_ms,"
            "rfc3550_jitter_ms,p50_ms,p95_ms,clock");
    }
    out += QStringLiteral("\r\n");
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        const WindowStatistics stats = statisticsOf(hop, state_.Window);
        const bool measured = stats.valid > 0;
        const auto current = currentOf(hop, stats);
        QStringList fields = {QString::number(hop.Hop),
                              QString::number(hop.LostCount),
                              csvField(hop.IP),
                              csvField(hop.Unreachable ? hop.DNSName : nameOf(hop)),
                              measured ? QString::number(hop.AvgTime) : QString(),
                              measured ? QString::number(hop.MinTime) : QString(),
                              measured ? QString::number(hop.MaxTime) : QString(),
                              current ? QString::number(*current) : QString(),
                              hop.Unreachable ? QStringLiteral("true") : QStringLiteral("false")};
        if (wide_) {
            fields << (stats.lossPercent ? QString::number(*stats.lossPercent, 'f', 3) : QString())
                   << QString::number(stats.sent) << QString::number(stats.received)
                   << msText(stats.meanUs, 3) << msText(stats.minUs, 3) << msText(stats.maxUs, 3)
                   << msText(stats.stdevUs, 3) << msText(stats.jitterUs, 3)
                   << msText(stats.rfc3550JitterUs, 3) << msText(stats.medianUs, 3)
                   << msText(stats.p95Us, 3)
                   << (stats.clock ? QString::fromLatin1(SampleClockName(*stats.clock))
                                   : QString());
        }
        out += fields.join(u',') + QStringLiteral("\r\n");
    }
    return out;
}

QString ReportFormatter::json() const {
    PathEvidence evidence;
    evidence.refresh(state_);
    QJsonArray hops;
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        const WindowStatistics stats = statisticsOf(hop, state_.Window);
        const bool measured = stats.valid > 0;
        const auto current = currentOf(hop, stats);
        QJsonArray samples;
        QJsonArray samplesUs;
        for (size_t p = 0; p < hop.Samples.size(); ++p) {
            const qint32 v = hop.Samples[p];
            samples.append(v == LOST_SAMPLE ? QJsonValue(QJsonValue::Null) : QJsonValue(v));
            const qint32 us = hop.SampleUs(p);
            samplesUs.append(us >= 0 ? QJsonValue(us) : QJsonValue(QJsonValue::Null));
        }
        QJsonObject entry;
        entry[QStringLiteral("hop")] = hop.Hop;
        entry[QStringLiteral("ip")] = hop.IP;
        entry[QStringLiteral("name")] = hop.Unreachable ? hop.DNSName : nameOf(hop);
        entry[QStringLiteral("lost")] = hop.LostCount;
        entry[QStringLiteral("avg")] = measured ? QJsonValue(hop.AvgTime) : QJsonValue();
        entry[QStringLiteral("min")] = measured ? QJsonValue(hop.MinTime) : QJsonValue();
        entry[QStringLiteral("max")] = measured ? QJsonValue(hop.MaxTime) : QJsonValue();
        entry[QStringLiteral("cur")] = current ? QJsonValue(*current) : QJsonValue();
        entry[QStringLiteral("unreachable")] = hop.Unreachable;
        entry[QStringLiteral("samples")] = samples;
        addEvidence(entry, *evidence.hop(i));
        entry[QStringLiteral("avg_ms")] = msJson(stats.meanUs);
        entry[QStringLiteral("min_ms")] = msJson(stats.minUs);
        entry[QStringLiteral("max_ms")] = msJson(stats.maxUs);
        entry[QStringLiteral("stdev_ms")] = msJson(stats.stdevUs);
        entry[QStringLiteral("jitter_ms")] = msJson(stats.jitterUs);
        entry[QStringLiteral("rfc3550_jitter_ms")] = msJson(stats.rfc3550JitterUs);
        entry[QStringLiteral("p50_ms")] = msJson(stats.medianUs);
        entry[QStringLiteral("p95_ms")] = msJson(stats.p95Us);
        entry[QStringLiteral("loss_pct")] =
            stats.lossPercent ? QJsonValue(std::round(*stats.lossPercent * 1000) / 1000)
                              : QJsonValue();
        entry[QStringLiteral("sent")] = stats.sent;
        entry[QStringLiteral("received")] = stats.received;
        entry[QStringLiteral("clock")] =
            stats.clock ? QJsonValue(QString::fromLatin1(SampleClockName(*stats.clock)))
                        : QJsonValue();
        entry[QStringLiteral("samples_us")] = samplesUs;
        hops.append(entry);
    }
    QJsonObject root;
    root[QStringLiteral("target")] = target_;
    root[QStringLiteral("address")] = state_.TargetAddress;
    root[QStringLiteral("host_name")] = state_.HostName;
    root[QStringLiteral("rounds")] = state_.SamplesTaken;
    if (context_) {
        root[QStringLiteral("source_address")] = context_->sourceAddress;
        root[QStringLiteral("started_utc")] = utcText(context_->startedUtcUs);
        root[QStringLiteral("ended_utc")] = utcText(context_->endedUtcUs);
        root[QStringLiteral("delay")] = context_->delayText;
        root[QStringLiteral("delay_ms")] = context_->delayMs;
        root[QStringLiteral("version")] = context_->version;
    }
    root[QStringLiteral("destination_hop")] =
        state_.DestinationHop > 0 ? QJsonValue(state_.DestinationHop) : QJsonValue();
    const std::optional<double> destinationLoss = evidence.destinationLossPercent();
    root[QStringLiteral("destination_loss_pct")] =
        destinationLoss ? QJsonValue(*destinationLoss) : QJsonValue();
    root[QStringLiteral("hops")] = hops;
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

}  // namespace hoplark
