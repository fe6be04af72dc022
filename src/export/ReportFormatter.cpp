#include "export/ReportFormatter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "export/CsvWriter.h"
#include "export/HopFields.h"
#include "trace/PathEvidence.h"
#include "trace/WindowStatistics.h"

namespace hoplark {

namespace {

// ISO 8601 in UTC with seconds, or empty for an unknown time.
QString utcText(qint64 utcUs) {
    if (utcUs <= 0) return {};
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, Qt::UTC).toString(Qt::ISODate);
}

// Microseconds as milliseconds with `decimals` places; empty when absent.
QString msText(const std::optional<double>& us, int decimals) {
    return us ? QString::number(*us / 1000.0, 'f', decimals) : QString();
}

QJsonArray respondersJson(const HopEvidence& evidence) {
    QJsonArray responders;
    for (const ResponderShare& share : evidence.responders) {
        QJsonObject responder;
        responder[QStringLiteral("address")] = share.address;
        responder[QStringLiteral("count")] = share.answers;
        responders.append(responder);
    }
    return responders;
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
    PathEvidence summary;
    summary.refresh(state_);
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
        const WindowStatistics& stats = summary.hop(i)->stats;
        const bool measured = stats.valid > 0;
        const QString star = QStringLiteral("*");
        const std::vector<ExportField> fields = HopFields(hop, *summary.hop(i), BasicFields);
        const auto shown = [&](int k) {
            return fields[size_t(k)].value.isNull() ? star : fields[size_t(k)].value.csv();
        };
        QStringList row = {QString::number(hop.Hop),
                           QString::number(hop.LostCount),
                           hop.IP,
                           ShownName(hop),
                           shown(4),
                           shown(5),
                           shown(6),
                           shown(7)};
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
    PathEvidence summary;
    summary.refresh(state_);
    const unsigned sets = wide_ ? (BasicFields | WindowFields) : BasicFields;
    // The trace's context rides in columns of every row, so the file stays one plain table.
    QStringList contextNames;
    QStringList contextValues;
    if (context_) {
        const std::pair<const char*, QString> context[] = {
            {"target", target_},
            {"address", state_.TargetAddress},
            {"source_address", context_->sourceAddress},
            {"started_utc", utcText(context_->startedUtcUs)},
            {"ended_utc", utcText(context_->endedUtcUs)},
            {"rounds", QString::number(state_.SamplesTaken)},
            {"delay_ms", QString::number(context_->delayMs)},
            {"version", context_->version},
        };
        for (const auto& [name, value] : context) {
            contextNames << QLatin1String(name);
            contextValues << value;
        }
    }
    QString out;
    CsvWriter writer(out);
    writer.row(HopFieldNames(sets) + contextNames);
    for (int i = 0; i < shownHops_; ++i) {
        QStringList row;
        for (const ExportField& field : HopFields(state_.HopList.at(i), *summary.hop(i), sets))
            row << field.value.csv();
        writer.row(row + contextValues);
    }
    return out;
}

QString ReportFormatter::json() const {
    PathEvidence summary;
    summary.refresh(state_);
    QJsonArray hops;
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        const HopEvidence& evidence = *summary.hop(i);
        QJsonObject entry;
        for (const ExportField& field :
             HopFields(hop, evidence, BasicFields | WindowFields | EvidenceFields))
            entry[field.name] = field.value.json();
        entry[QStringLiteral("responders")] = respondersJson(evidence);
        // Every round of the trace, position k for round k + 1: null where no answer is in
        // (lost, overdue, pending, or the hop not probed in that round).
        QJsonArray samples;
        QJsonArray samplesUs;
        for (size_t p = 0; p < hop.Samples.size(); ++p) {
            const HopSample& sample = hop.Samples[p];
            const bool answered = sample.state == SampleState::Answered;
            samples.append(answered ? QJsonValue(sample.ms) : QJsonValue(QJsonValue::Null));
            const qint32 us = hop.SampleUs(p);
            samplesUs.append(us >= 0 ? QJsonValue(us) : QJsonValue(QJsonValue::Null));
        }
        entry[QStringLiteral("samples")] = samples;
        entry[QStringLiteral("samples_us")] = samplesUs;
        hops.append(entry);
    }
    QJsonObject root;
    root[QStringLiteral("target")] = target_;
    root[QStringLiteral("address")] = state_.TargetAddress;
    root[QStringLiteral("host_name")] = state_.HostName;
    root[QStringLiteral("rounds")] = state_.SamplesTaken;
    root[QStringLiteral("first_round")] = state_.Window.FirstSample + 1;
    root[QStringLiteral("last_round")] = state_.Window.LastSample + 1;
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
    root[QStringLiteral("unreachable_from")] =
        state_.UnreachableFrom.isEmpty() ? QJsonValue() : QJsonValue(state_.UnreachableFrom);
    const std::optional<double> destinationLoss = summary.destinationLossPercent();
    root[QStringLiteral("destination_loss_pct")] =
        destinationLoss ? QJsonValue(std::round(*destinationLoss * 1000) / 1000) : QJsonValue();
    root[QStringLiteral("hops")] = hops;
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

}  // namespace hoplark
