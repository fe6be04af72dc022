#include "export/ReportFormatter.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "export/CsvWriter.h"
#include "export/HopFields.h"
#include "export/JsonStreamWriter.h"
#include "trace/PathEvidence.h"
#include "trace/UnreachableReason.h"
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

}  // namespace

ReportFormatter::ReportFormatter(const TraceState& state, QString target, int shownHops, bool wide)
    : state_(state),
      target_(std::move(target)),
      shownHops_(std::clamp(shownHops, 0, state.HopList.count())),
      wide_(wide) {}

QString ReportFormatter::format(ReportFormat format) const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    write(format, buffer);
    return QString::fromUtf8(buffer.data());
}

bool ReportFormatter::write(ReportFormat format, QIODevice& out) const {
    switch (format) {
        case ReportFormat::Csv:
            return writeCsv(out);
        case ReportFormat::Json:
            return writeJson(out);
        case ReportFormat::Text:
            break;
    }
    const QByteArray bytes = text().toUtf8();
    return out.write(bytes) == bytes.size();
}

QString ReportFormatter::csv() const {
    return format(ReportFormat::Csv);
}

QString ReportFormatter::json() const {
    return format(ReportFormat::Json);
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

    // Loss% and Snt read over the statistics window as an mtr user expects; wide adds the rest
    // of the window's figures. The loss verdict ends every row.
    QStringList header = {QStringLiteral("Hop"),  QStringLiteral("Lost"), QStringLiteral("Address"),
                          QStringLiteral("Name"), QStringLiteral("Avg"),  QStringLiteral("Min"),
                          QStringLiteral("Max"),  QStringLiteral("Cur"),  QStringLiteral("Loss%"),
                          QStringLiteral("Snt")};
    if (wide_) {
        header << QStringLiteral("Avg") << QStringLiteral("Best") << QStringLiteral("Wrst")
               << QStringLiteral("StDev") << QStringLiteral("Jttr");
    }
    header << QStringLiteral("Verdict");
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
        row << (stats.lossPercent ? QString::number(*stats.lossPercent, 'f', 1) + u'%' : star)
            << QString::number(stats.sent);
        if (wide_) {
            const auto figure = [&](const std::optional<double>& us) {
                return measured ? msText(us, 2) : star;
            };
            row << figure(stats.meanUs) << figure(stats.minUs) << figure(stats.maxUs)
                << figure(stats.stdevUs) << figure(stats.jitterUs);
        }
        row << LossVerdictName(summary.hop(i)->verdict);
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
            const bool leftAligned = c == 2 || c == 3 || c == row.size() - 1;
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
    if (!state_.UnreachableFrom.isEmpty()) {
        out += QStringLiteral("Destination unreachable: %1\n")
                   .arg(UnreachableReasonText(state_.UnreachableFrom, state_.UnreachableCode));
    }
    return out;
}

bool ReportFormatter::writeCsv(QIODevice& device) const {
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
    CsvWriter writer(device);
    writer.row(HopFieldNames(sets) + contextNames);
    for (int i = 0; i < shownHops_; ++i) {
        writer.row(HopCsvRow(state_.HopList.at(i), *summary.hop(i), sets) + contextValues);
    }
    return writer.flush();
}

bool ReportFormatter::writeJson(QIODevice& device) const {
    PathEvidence summary;
    summary.refresh(state_);
    JsonStreamWriter out(device);
    out.beginObject();
    out.member(QStringLiteral("target"), target_);
    out.member(QStringLiteral("address"), state_.TargetAddress);
    out.member(QStringLiteral("host_name"), state_.HostName);
    out.member(QStringLiteral("rounds"), state_.SamplesTaken);
    out.member(QStringLiteral("first_round"), state_.Window.FirstSample + 1);
    out.member(QStringLiteral("last_round"), state_.Window.LastSample + 1);
    if (context_) {
        out.member(QStringLiteral("source_address"), context_->sourceAddress);
        out.member(QStringLiteral("started_utc"), utcText(context_->startedUtcUs));
        out.member(QStringLiteral("ended_utc"), utcText(context_->endedUtcUs));
        out.member(QStringLiteral("delay"), context_->delayText);
        out.member(QStringLiteral("delay_ms"), context_->delayMs);
        out.member(QStringLiteral("version"), context_->version);
    }
    out.member(QStringLiteral("destination_hop"),
               state_.DestinationHop > 0 ? QJsonValue(state_.DestinationHop) : QJsonValue());
    out.member(QStringLiteral("unreachable_from"), state_.UnreachableFrom.isEmpty()
                                                       ? QJsonValue()
                                                       : QJsonValue(state_.UnreachableFrom));
    // Why, as the router said it: the ICMP code and its words.
    out.member(QStringLiteral("unreachable_code"),
               state_.UnreachableCode ? QJsonValue(*state_.UnreachableCode) : QJsonValue());
    out.member(QStringLiteral("unreachable_reason"),
               state_.UnreachableCode ? QJsonValue(UnreachableCodeText(*state_.UnreachableCode))
                                      : QJsonValue());
    const std::optional<double> destinationLoss = summary.destinationLossPercent();
    out.member(QStringLiteral("destination_loss_pct"),
               destinationLoss ? ExportValue::number(*destinationLoss, 3).json() : QJsonValue());

    out.key(QStringLiteral("hops"));
    out.beginArray();
    for (int i = 0; i < shownHops_; ++i) {
        const THostInfo& hop = state_.HopList.at(i);
        const HopEvidence& evidence = *summary.hop(i);
        out.beginObject();
        for (const ExportField& field :
             HopFields(hop, evidence, BasicFields | WindowFields | EvidenceFields))
            out.member(QString(field.name), field.value.json());
        out.key(QStringLiteral("responders"));
        out.beginArray();
        for (const ResponderShare& share : evidence.responders) {
            out.beginObject();
            out.member(QStringLiteral("address"), share.address);
            out.member(QStringLiteral("count"), share.answers);
            out.endObject();
        }
        out.endArray();
        // Every round of the trace, position k for round k + 1: null where no answer is in
        // (lost, overdue, pending, or the hop not probed in that round).
        out.key(QStringLiteral("samples"));
        out.beginArray();
        for (const HopSample& sample : hop.Samples) {
            const bool answered = sample.state == SampleState::Answered;
            out.value(answered ? QJsonValue(sample.ms) : QJsonValue());
        }
        out.endArray();
        out.key(QStringLiteral("samples_us"));
        out.beginArray();
        for (size_t p = 0; p < hop.Samples.size(); ++p) {
            const qint32 us = hop.SampleUs(p);
            out.value(us >= 0 ? QJsonValue(us) : QJsonValue());
        }
        out.endArray();
        out.endObject();
    }
    out.endArray();
    out.endObject();
    return out.flush();
}

}  // namespace hoplark
