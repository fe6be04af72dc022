#include "app/ReportFormatter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>

#include "trace/PathEvidence.h"

namespace hoplark {

namespace {

// A sample as printed: lost ones (and values the statistics never take) as "*".
QString timeText(qint32 value) {
    return value >= 0 && value < LOST_SAMPLE ? QString::number(value) : QStringLiteral("*");
}

// The name as shown: nothing for a hop whose reverse lookup found none.
QString nameOf(const THostInfo& hop) {
    return hop.DNSName == NO_NAME ? QString() : hop.DNSName;
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

}  // namespace

ReportFormatter::ReportFormatter(const TraceState& state, QString target, int shownHops)
    : state_(state),
      target_(std::move(target)),
      shownHops_(std::clamp(shownHops, 0, state.HopList.count())) {}

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
    out += QStringLiteral("Rounds: %1\n\n").arg(state_.SamplesTaken);

    const QStringList header = {QStringLiteral("Hop"),     QStringLiteral("Lost"),
                                QStringLiteral("Address"), QStringLiteral("Name"),
                                QStringLiteral("Avg"),     QStringLiteral("Min"),
                                QStringLiteral("Max"),     QStringLiteral("Cur")};
    std::vector<QStringList> rows;
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        if (hop.Unreachable) {
            rows.push_back({QString::number(hop.Hop), QString(), QString(), hop.DNSName, QString(),
                            QString(), QString(), QString()});
            continue;
        }
        const bool replied = hop.HasReplies();
        rows.push_back({QString::number(hop.Hop), QString::number(hop.LostCount), hop.IP,
                        nameOf(hop), replied ? QString::number(hop.AvgTime) : QStringLiteral("*"),
                        replied ? QString::number(hop.MinTime) : QStringLiteral("*"),
                        replied ? QString::number(hop.MaxTime) : QStringLiteral("*"),
                        timeText(hop.CurTime)});
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
    QString out = QStringLiteral("hop,lost,ip,name,avg,min,max,cur,unreachable\r\n");
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        const bool replied = hop.HasReplies() && !hop.Unreachable;
        QStringList fields = {QString::number(hop.Hop),
                              QString::number(hop.LostCount),
                              csvField(hop.IP),
                              csvField(hop.Unreachable ? hop.DNSName : nameOf(hop)),
                              replied ? QString::number(hop.AvgTime) : QString(),
                              replied ? QString::number(hop.MinTime) : QString(),
                              replied ? QString::number(hop.MaxTime) : QString(),
                              replied && hop.CurTime >= 0 && hop.CurTime < LOST_SAMPLE
                                  ? QString::number(hop.CurTime)
                                  : QString(),
                              hop.Unreachable ? QStringLiteral("true") : QStringLiteral("false")};
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
        const bool replied = hop.HasReplies() && !hop.Unreachable;
        QJsonArray samples;
        for (qint32 v : hop.Samples) {
            samples.append(v == LOST_SAMPLE ? QJsonValue(QJsonValue::Null) : QJsonValue(v));
        }
        QJsonObject entry;
        entry[QStringLiteral("hop")] = hop.Hop;
        entry[QStringLiteral("ip")] = hop.IP;
        entry[QStringLiteral("name")] = hop.Unreachable ? hop.DNSName : nameOf(hop);
        entry[QStringLiteral("lost")] = hop.LostCount;
        entry[QStringLiteral("avg")] = replied ? QJsonValue(hop.AvgTime) : QJsonValue();
        entry[QStringLiteral("min")] = replied ? QJsonValue(hop.MinTime) : QJsonValue();
        entry[QStringLiteral("max")] = replied ? QJsonValue(hop.MaxTime) : QJsonValue();
        entry[QStringLiteral("cur")] = replied && hop.CurTime >= 0 && hop.CurTime < LOST_SAMPLE
                                           ? QJsonValue(hop.CurTime)
                                           : QJsonValue();
        entry[QStringLiteral("unreachable")] = hop.Unreachable;
        entry[QStringLiteral("samples")] = samples;
        addEvidence(entry, *evidence.hop(i));
        hops.append(entry);
    }
    QJsonObject root;
    root[QStringLiteral("target")] = target_;
    root[QStringLiteral("address")] = state_.TargetAddress;
    root[QStringLiteral("host_name")] = state_.HostName;
    root[QStringLiteral("rounds")] = state_.SamplesTaken;
    root[QStringLiteral("destination_hop")] =
        state_.DestinationHop > 0 ? QJsonValue(state_.DestinationHop) : QJsonValue();
    const std::optional<double> destinationLoss = evidence.destinationLossPercent();
    root[QStringLiteral("destination_loss_pct")] =
        destinationLoss ? QJsonValue(*destinationLoss) : QJsonValue();
    root[QStringLiteral("hops")] = hops;
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

}  // namespace hoplark
