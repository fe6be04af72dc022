#include "record/TraceExport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>

namespace hoplark {

namespace {

QString utcText(qint64 utcUs) {
    if (utcUs <= 0) return {};
    return QDateTime::fromMSecsSinceEpoch(utcUs / 1000, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString csvField(const QString& field) {
    if (!field.contains(u',') && !field.contains(u'"') && !field.contains(u'\n') &&
        !field.contains(u'\r'))
        return field;
    QString quoted = field;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString shownName(const THostInfo& hop) {
    return hop.DNSName == NO_NAME ? QString() : hop.DNSName;
}

const char* clockName(SampleClock clock) {
    switch (clock) {
        case SampleClock::Kernel:
            return "kernel";
        case SampleClock::KernelReceive:
            return "kernel_receive";
        case SampleClock::Monotonic:
            break;
    }
    return "monotonic";
}

// One hop's figures over the window, in microseconds where the samples have them.
struct HopFigures {
    qint64 sent = 0;
    qint64 lost = 0;
    qint64 minUs = -1;
    qint64 maxUs = -1;
    qint64 avgUs = -1;
};

template <typename T>
T entryAt(const std::vector<T>& list, qint64 p, T fallback) {
    return p >= 0 && p < static_cast<qint64>(list.size()) ? list[static_cast<size_t>(p)] : fallback;
}

HopFigures figuresOf(const THostInfo& hop, const SampleWindow& window) {
    HopFigures figures;
    qint64 sum = 0;
    qint64 answered = 0;
    const qint64 end = std::min<qint64>(qint64(window.LastSample) + 1, hop.Samples.size());
    for (qint64 p = std::max(0, window.FirstSample); p < end; ++p) {
        ++figures.sent;
        const qint32 ms = hop.Samples[static_cast<size_t>(p)];
        if (ms == LOST_SAMPLE) {
            ++figures.lost;
            continue;
        }
        const qint32 us = entryAt(hop.SamplesUs, p, qint32(-1));
        if (us < 0) continue;
        ++answered;
        sum += us;
        figures.minUs = figures.minUs < 0 ? us : std::min<qint64>(figures.minUs, us);
        figures.maxUs = std::max<qint64>(figures.maxUs, us);
    }
    if (answered > 0) figures.avgUs = sum / answered;
    return figures;
}

QString numberOrEmpty(qint64 value) {
    return value < 0 ? QString() : QString::number(value);
}

}  // namespace

TraceExport::TraceExport(const TraceState& state, About about, int shownHops)
    : state_(state),
      about_(std::move(about)),
      shownHops_(std::clamp(shownHops, 0, state.HopList.count())) {}

QString TraceExport::build(Format format, Rows rows) const {
    return format == Format::Csv ? csv(rows) : json(rows);
}

QString TraceExport::csv(Rows rows) const {
    const SampleWindow& window = state_.Window;
    QString out;
    const std::pair<const char*, QString> about[] = {
        {"target", about_.target},
        {"address", state_.TargetAddress},
        {"source_address", about_.sourceAddress},
        {"first_round", QString::number(window.FirstSample + 1)},
        {"last_round", QString::number(window.LastSample + 1)},
        {"from_utc", utcText(state_.roundStartUtcUs(window.FirstSample + 1))},
        {"to_utc", utcText(state_.roundStartUtcUs(window.LastSample + 1))},
        {"version", about_.version},
    };
    for (const auto& [key, value] : about)
        out += QStringLiteral("# %1: %2\r\n").arg(QLatin1String(key), csvField(value));

    if (rows == Rows::PerHop) {
        out += QStringLiteral(
            "hop,ip,name,sent,lost,avg_ms,min_ms,max_ms,cur_ms,avg_us,min_us,"
            "max_us,unreachable\r\n");
        for (int i = 0; i < shownHops_; ++i) {
            const THostInfo& hop = state_.HopList.at(i);
            const HopFigures f = figuresOf(hop, window);
            const bool replied = hop.HasReplies() && !hop.Unreachable;
            const QStringList fields = {
                QString::number(hop.Hop),
                csvField(hop.IP),
                csvField(shownName(hop)),
                QString::number(f.sent),
                QString::number(f.lost),
                replied ? QString::number(hop.AvgTime) : QString(),
                replied ? QString::number(hop.MinTime) : QString(),
                replied ? QString::number(hop.MaxTime) : QString(),
                replied && hop.CurTime >= 0 && hop.CurTime < LOST_SAMPLE
                    ? QString::number(hop.CurTime)
                    : QString(),
                numberOrEmpty(f.avgUs),
                numberOrEmpty(f.minUs),
                numberOrEmpty(f.maxUs),
                hop.Unreachable ? QStringLiteral("true") : QStringLiteral("false")};
            out += fields.join(u',') + QStringLiteral("\r\n");
        }
        return out;
    }

    out += QStringLiteral("round,round_start_utc,hop,responder,rtt_ms,rtt_us,clock\r\n");
    for (qint64 p = std::max(0, window.FirstSample); p <= window.LastSample; ++p) {
        for (int i = 0; i < shownHops_; ++i) {
            const THostInfo& hop = state_.HopList.at(i);
            if (p >= static_cast<qint64>(hop.Samples.size())) continue;
            const qint32 ms = hop.Samples[static_cast<size_t>(p)];
            const qint32 round = entryAt(hop.SampleRounds, p, qint32(0));
            const quint8 who = entryAt(hop.SampleResponders, p, NoResponder);
            const QString responder = who < hop.Responders.size() ? hop.Responders[who] : QString();
            const QStringList fields = {
                QString::number(round),
                utcText(state_.roundStartUtcUs(round)),
                QString::number(hop.Hop),
                csvField(responder),
                ms == LOST_SAMPLE ? QString() : QString::number(ms),
                ms == LOST_SAMPLE ? QString()
                                  : numberOrEmpty(entryAt(hop.SamplesUs, p, qint32(-1))),
                QString::fromLatin1(
                    clockName(entryAt(hop.SampleClocks, p, SampleClock::Monotonic)))};
            out += fields.join(u',') + QStringLiteral("\r\n");
        }
    }
    return out;
}

QString TraceExport::json(Rows rows) const {
    const SampleWindow& window = state_.Window;
    QJsonObject root;
    root[QStringLiteral("target")] = about_.target;
    root[QStringLiteral("address")] = state_.TargetAddress;
    root[QStringLiteral("host_name")] = state_.HostName;
    root[QStringLiteral("source_address")] = about_.sourceAddress;
    root[QStringLiteral("first_round")] = window.FirstSample + 1;
    root[QStringLiteral("last_round")] = window.LastSample + 1;
    root[QStringLiteral("from_utc")] = utcText(state_.roundStartUtcUs(window.FirstSample + 1));
    root[QStringLiteral("to_utc")] = utcText(state_.roundStartUtcUs(window.LastSample + 1));
    root[QStringLiteral("version")] = about_.version;

    auto orNull = [](qint64 value) { return value < 0 ? QJsonValue() : QJsonValue(value); };
    if (rows == Rows::PerHop) {
        QJsonArray hops;
        for (int i = 0; i < shownHops_; ++i) {
            const THostInfo& hop = state_.HopList.at(i);
            const HopFigures f = figuresOf(hop, window);
            const bool replied = hop.HasReplies() && !hop.Unreachable;
            QJsonObject entry;
            entry[QStringLiteral("hop")] = hop.Hop;
            entry[QStringLiteral("ip")] = hop.IP;
            entry[QStringLiteral("name")] = shownName(hop);
            entry[QStringLiteral("sent")] = f.sent;
            entry[QStringLiteral("lost")] = f.lost;
            entry[QStringLiteral("avg_ms")] = replied ? QJsonValue(hop.AvgTime) : QJsonValue();
            entry[QStringLiteral("min_ms")] = replied ? QJsonValue(hop.MinTime) : QJsonValue();
            entry[QStringLiteral("max_ms")] = replied ? QJsonValue(hop.MaxTime) : QJsonValue();
            entry[QStringLiteral("avg_us")] = orNull(f.avgUs);
            entry[QStringLiteral("min_us")] = orNull(f.minUs);
            entry[QStringLiteral("max_us")] = orNull(f.maxUs);
            entry[QStringLiteral("unreachable")] = hop.Unreachable;
            hops.append(entry);
        }
        root[QStringLiteral("hops")] = hops;
    } else {
        QJsonArray probes;
        for (qint64 p = std::max(0, window.FirstSample); p <= window.LastSample; ++p) {
            for (int i = 0; i < shownHops_; ++i) {
                const THostInfo& hop = state_.HopList.at(i);
                if (p >= static_cast<qint64>(hop.Samples.size())) continue;
                const qint32 ms = hop.Samples[static_cast<size_t>(p)];
                const qint32 round = entryAt(hop.SampleRounds, p, qint32(0));
                const quint8 who = entryAt(hop.SampleResponders, p, NoResponder);
                QJsonObject entry;
                entry[QStringLiteral("round")] = round;
                entry[QStringLiteral("round_start_utc")] = utcText(state_.roundStartUtcUs(round));
                entry[QStringLiteral("hop")] = hop.Hop;
                entry[QStringLiteral("responder")] =
                    who < hop.Responders.size() ? QJsonValue(hop.Responders[who]) : QJsonValue();
                entry[QStringLiteral("rtt_ms")] = ms == LOST_SAMPLE ? QJsonValue() : QJsonValue(ms);
                entry[QStringLiteral("rtt_us")] =
                    ms == LOST_SAMPLE ? QJsonValue()
                                      : orNull(entryAt(hop.SamplesUs, p, qint32(-1)));
                entry[QStringLiteral("clock")] =
                    QLatin1String(clockName(entryAt(hop.SampleClocks, p, SampleClock::Monotonic)));
                probes.append(entry);
            }
        }
        root[QStringLiteral("probes")] = probes;
    }
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}

}  // namespace hoplark
