#include "export/TraceExport.h"

#include <QBuffer>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>

#include "export/CsvWriter.h"
#include "export/HopFields.h"
#include "export/JsonStreamWriter.h"
#include "trace/PathEvidence.h"

namespace hoplark {

namespace {

QString utcText(qint64 utcUs) {
    if (utcUs <= 0) return {};
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, Qt::UTC).toString(Qt::ISODateWithMs);
}

// One probe's fields, in the order every per-probe export writes them. Only rounds that probed
// the hop have a row.
std::vector<ExportField> probeFields(const TraceState& state, const THostInfo& hop, size_t p) {
    const HopSample& sample = hop.Samples[p];
    const qint32 round = static_cast<qint32>(p) + 1;
    const qint32 us = hop.SampleUs(p);
    const bool answered = sample.state == SampleState::Answered;
    const bool known = answered && sample.responder < hop.Responders.size();
    return {
        {QLatin1String("round"), ExportValue::integer(round)},
        {QLatin1String("round_start_utc"),
         ExportValue::text(utcText(state.roundStartUtcUs(round)))},
        {QLatin1String("hop"), ExportValue::integer(hop.Hop)},
        {QLatin1String("responder"),
         known ? ExportValue::text(hop.Responders[sample.responder]) : ExportValue::none()},
        {QLatin1String("status"), ExportValue::text(SampleStateName(sample.state))},
        {QLatin1String("rtt_ms"),
         us >= 0 ? ExportValue::number(us / 1000.0, 3) : ExportValue::none()},
        {QLatin1String("rtt_us"), us >= 0 ? ExportValue::integer(us) : ExportValue::none()},
        {QLatin1String("clock"),
         answered ? ExportValue::text(QLatin1String(SampleClockName(sample.clock)))
                  : ExportValue::none()},
    };
}

bool hasProbe(const THostInfo& hop, qint64 p) {
    return p >= 0 && p < static_cast<qint64>(hop.Samples.size()) &&
           hop.Samples[static_cast<size_t>(p)].state != SampleState::NotProbed;
}

}  // namespace

TraceExport::TraceExport(const TraceState& state, About about, int shownHops)
    : state_(state),
      about_(std::move(about)),
      shownHops_(std::clamp(shownHops, 0, state.HopList.count())) {}

QString TraceExport::build(Format format, Rows rows) const {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    write(format, rows, buffer);
    return QString::fromUtf8(buffer.data());
}

bool TraceExport::write(Format format, Rows rows, QIODevice& out) const {
    return format == Format::Csv ? writeCsv(rows, out) : writeJson(rows, out);
}

std::vector<std::pair<QLatin1String, QString>> TraceExport::context() const {
    const SampleWindow& window = state_.Window;
    return {
        {QLatin1String("target"), about_.target},
        {QLatin1String("address"), state_.TargetAddress},
        {QLatin1String("source_address"), about_.sourceAddress},
        {QLatin1String("first_round"), QString::number(window.FirstSample + 1)},
        {QLatin1String("last_round"), QString::number(window.LastSample + 1)},
        {QLatin1String("from_utc"), utcText(state_.roundStartUtcUs(window.FirstSample + 1))},
        {QLatin1String("to_utc"), utcText(state_.roundStartUtcUs(window.LastSample + 1))},
        {QLatin1String("version"), about_.version},
    };
}

bool TraceExport::writeCsv(Rows rows, QIODevice& device) const {
    const SampleWindow& window = state_.Window;
    // The context rides in columns of every row, so the file stays one plain table.
    QStringList contextNames;
    QStringList contextValues;
    for (const auto& [name, value] : context()) {
        contextNames << QString(name);
        contextValues << value;
    }
    CsvWriter writer(device);
    if (rows == Rows::PerHop) {
        PathEvidence summary;
        summary.refresh(state_);
        const unsigned sets = BasicFields | WindowFields | EvidenceFields;
        writer.row(HopFieldNames(sets) + contextNames);
        for (int i = 0; i < shownHops_; ++i) {
            writer.row(HopCsvRow(state_.HopList.at(i), *summary.hop(i), sets) + contextValues);
        }
        return writer.flush();
    }

    // The names come from a hop of one round, not probed: probeFields reads that round.
    THostInfo named(1);
    named.PadTo(1);
    QStringList header;
    for (const ExportField& field : probeFields(state_, named, 0))
        header << QString(field.name);
    writer.row(header + contextNames);
    for (qint64 p = std::max(0, window.FirstSample); p <= window.LastSample; ++p) {
        for (int i = 0; i < shownHops_; ++i) {
            const THostInfo& hop = state_.HopList.at(i);
            if (!hasProbe(hop, p)) continue;
            QStringList row;
            for (const ExportField& field : probeFields(state_, hop, static_cast<size_t>(p)))
                row << field.value.csv();
            writer.row(row + contextValues);
        }
    }
    return writer.flush();
}

bool TraceExport::writeJson(Rows rows, QIODevice& device) const {
    const SampleWindow& window = state_.Window;
    JsonStreamWriter out(device);
    out.beginObject();
    for (const auto& [name, value] : context()) {
        // Round numbers are numbers in JSON; CSV has only text.
        const bool round =
            name == QLatin1String("first_round") || name == QLatin1String("last_round");
        out.member(QString(name), round ? QJsonValue(value.toInt()) : QJsonValue(value));
    }
    out.member(QStringLiteral("host_name"), state_.HostName);

    if (rows == Rows::PerHop) {
        PathEvidence summary;
        summary.refresh(state_);
        const std::optional<double> destinationLoss = summary.destinationLossPercent();
        out.member(
            QStringLiteral("destination_loss_pct"),
            destinationLoss ? ExportValue::number(*destinationLoss, 3).json() : QJsonValue());
        out.key(QStringLiteral("hops"));
        out.beginArray();
        for (int i = 0; i < shownHops_; ++i) {
            out.beginObject();
            for (const ExportField& field : HopFields(state_.HopList.at(i), *summary.hop(i),
                                                      BasicFields | WindowFields | EvidenceFields))
                out.member(QString(field.name), field.value.json());
            out.endObject();
        }
        out.endArray();
    } else {
        out.key(QStringLiteral("probes"));
        out.beginArray();
        for (qint64 p = std::max(0, window.FirstSample); p <= window.LastSample; ++p) {
            for (int i = 0; i < shownHops_; ++i) {
                const THostInfo& hop = state_.HopList.at(i);
                if (!hasProbe(hop, p)) continue;
                out.beginObject();
                for (const ExportField& field : probeFields(state_, hop, static_cast<size_t>(p)))
                    out.member(QString(field.name), field.value.json());
                out.endObject();
            }
        }
        out.endArray();
    }
    out.endObject();
    return out.flush();
}

}  // namespace hoplark
