#include "export/MetricsWriter.h"

#include <cmath>

namespace hoplark {

void RttHistogram::observe(double seconds) {
    size_t bucket = 0;
    while (bucket < RttBucketBoundsSeconds.size() && seconds > RttBucketBoundsSeconds[bucket])
        ++bucket;
    ++buckets[bucket];
    sumSeconds += seconds;
    ++count;
}

namespace {

// Label values may hold any text; these three characters are escaped in both formats.
void appendEscaped(QByteArray& out, const QString& value) {
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

QByteArray number(double value) {
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    if (std::isnan(value)) return "NaN";
    return QByteArray::number(value, 'g', 15);
}

// Bucket bounds keep a fraction ("1.0", not "1"), as OpenMetrics asks for canonical floats.
QByteArray boundText(double value) {
    QByteArray text = number(value);
    if (!text.contains('.') && !text.contains('e')) text += ".0";
    return text;
}

// The label sets of one target and of each of its hops, built once per scrape.
struct Labels {
    QByteArray target;
    std::vector<QByteArray> hops;
};

Labels labelsOf(const TargetMetrics& metrics) {
    Labels labels;
    labels.target = "target=\"";
    appendEscaped(labels.target, metrics.target);
    labels.target += "\",address=\"";
    appendEscaped(labels.target, metrics.address);
    labels.target += '"';
    for (const HopMetrics& hop : metrics.hops) {
        QByteArray text =
            labels.target + ",hop=\"" + QByteArray::number(hop.hop) + "\",responder=\"";
        appendEscaped(text, hop.responder);
        text += '"';
        labels.hops.push_back(std::move(text));
    }
    return labels;
}

class FamilyWriter {
public:
    FamilyWriter(QByteArray& out, MetricsWriter::Format format) : out_(out), format_(format) {}

    // The family's header. A counter's family drops "_total" in OpenMetrics, whose samples add
    // it back; `unit` is announced in OpenMetrics only, which has a line for it.
    void header(const char* name, const char* type, const char* help, const char* unit = nullptr) {
        QByteArray family = name;
        if (format_ == MetricsWriter::Format::OpenMetrics && qstrcmp(type, "counter") == 0 &&
            family.endsWith("_total"))
            family.chop(6);
        out_ += "# HELP " + family + ' ' + help + '\n';
        out_ += "# TYPE " + family + ' ' + type + '\n';
        if (unit && format_ == MetricsWriter::Format::OpenMetrics)
            out_ += "# UNIT " + family + ' ' + unit + '\n';
    }

    void sample(const char* name, const QByteArray& labels, const QByteArray& value,
                const QByteArray& moreLabels = {}) {
        out_ += name;
        out_ += '{';
        out_ += labels;
        out_ += moreLabels;
        out_ += "} ";
        out_ += value;
        out_ += '\n';
    }

private:
    QByteArray& out_;
    MetricsWriter::Format format_;
};

}  // namespace

MetricsWriter::Format MetricsWriter::negotiate(const QByteArray& acceptHeader) {
    return acceptHeader.contains("application/openmetrics-text") ? Format::OpenMetrics
                                                                 : Format::Prometheus;
}

const char* MetricsWriter::contentType(Format format) {
    return format == Format::OpenMetrics ? OpenMetricsContentType : PrometheusContentType;
}

QByteArray MetricsWriter::write(const std::vector<TargetMetrics>& targets) const {
    QByteArray out;
    out.reserve(4096 + static_cast<qsizetype>(targets.size()) * 24000);
    FamilyWriter family(out, format_);
    std::vector<Labels> labels;
    labels.reserve(targets.size());
    for (const TargetMetrics& target : targets)
        labels.push_back(labelsOf(target));

    // One pass per family over every hop of every target: a family's samples stay together.
    const auto eachHop = [&](auto write) {
        for (size_t t = 0; t < targets.size(); ++t)
            for (size_t h = 0; h < targets[t].hops.size(); ++h)
                write(targets[t].hops[h], labels[t].hops[h]);
    };

    family.header("hoplark_build_info", "gauge", "The running Hoplark's version.");
    {
        QByteArray versionLabel = "version=\"";
        appendEscaped(versionLabel, version_);
        versionLabel += '"';
        family.sample("hoplark_build_info", versionLabel, "1");
    }

    family.header("hoplark_hop_probes_sent_total", "counter",
                  "Probes of the hop whose answer or time-out is in, over the whole run.");
    eachHop([&](const HopMetrics& hop, const QByteArray& l) {
        family.sample("hoplark_hop_probes_sent_total", l, QByteArray::number(hop.probesSent));
    });
    family.header("hoplark_hop_probes_lost_total", "counter",
                  "Probes of the hop that got no answer, over the whole run.");
    eachHop([&](const HopMetrics& hop, const QByteArray& l) {
        family.sample("hoplark_hop_probes_lost_total", l, QByteArray::number(hop.probesLost));
    });

    family.header("hoplark_hop_rtt_seconds", "histogram",
                  "Round trip of every answer of the hop, over the whole run.", "seconds");
    // Each bucket's bound label, written once per scrape rather than once per hop.
    std::array<QByteArray, RttBucketBoundsSeconds.size() + 1> boundLabels;
    for (size_t b = 0; b < boundLabels.size(); ++b)
        boundLabels[b] = ",le=\"" +
                         (b < RttBucketBoundsSeconds.size() ? boundText(RttBucketBoundsSeconds[b])
                                                            : QByteArray("+Inf")) +
                         '"';
    eachHop([&](const HopMetrics& hop, const QByteArray& l) {
        quint64 cumulative = 0;
        for (size_t b = 0; b < boundLabels.size(); ++b) {
            cumulative += hop.rtt.buckets[b];
            family.sample("hoplark_hop_rtt_seconds_bucket", l, QByteArray::number(cumulative),
                          boundLabels[b]);
        }
        family.sample("hoplark_hop_rtt_seconds_sum", l, number(hop.rtt.sumSeconds));
        family.sample("hoplark_hop_rtt_seconds_count", l, QByteArray::number(hop.rtt.count));
    });

    const auto windowGauge = [&](const char* name, const char* help, const char* unit, auto value) {
        family.header(name, "gauge", help, unit);
        eachHop([&](const HopMetrics& hop, const QByteArray& l) {
            if (const std::optional<double> v = value(hop)) family.sample(name, l, number(*v));
        });
    };
    windowGauge("hoplark_hop_rtt_avg_seconds", "Mean round trip over the statistics window.",
                "seconds", [](const HopMetrics& hop) { return hop.rttAverageSeconds; });
    windowGauge("hoplark_hop_rtt_stddev_seconds",
                "Sample standard deviation of the round trip over the statistics window.",
                "seconds", [](const HopMetrics& hop) { return hop.rttStddevSeconds; });
    windowGauge("hoplark_hop_loss_ratio",
                "Share of the hop's probes lost in the statistics window.", nullptr,
                [](const HopMetrics& hop) { return hop.lossRatio; });
    windowGauge(
        "hoplark_hop_rate_limited",
        "1 when the hop's losses are its own answers being limited, not lost traffic.", nullptr,
        [](const HopMetrics& hop) { return std::optional<double>(hop.rateLimited ? 1.0 : 0.0); });

    const auto targetFamily = [&](const char* name, const char* type, const char* help,
                                  auto value) {
        family.header(name, type, help);
        for (size_t t = 0; t < targets.size(); ++t)
            if (const std::optional<QByteArray> v = value(targets[t]))
                family.sample(name, labels[t].target, *v);
    };
    targetFamily("hoplark_destination_loss_ratio", "gauge",
                 "Share of the destination's probes lost in the statistics window.",
                 [](const TargetMetrics& t) -> std::optional<QByteArray> {
                     if (!t.destinationLossRatio) return std::nullopt;
                     return number(*t.destinationLossRatio);
                 });
    targetFamily("hoplark_path_hops", "gauge", "Hops of the path up to its end.",
                 [](const TargetMetrics& t) -> std::optional<QByteArray> {
                     return QByteArray::number(t.pathHops);
                 });
    targetFamily("hoplark_rounds_total", "counter", "Rounds launched toward the target.",
                 [](const TargetMetrics& t) -> std::optional<QByteArray> {
                     return QByteArray::number(t.roundsTotal);
                 });
    targetFamily("hoplark_path_changes_total", "counter",
                 "Times the main responder of some hop of the path changed.",
                 [](const TargetMetrics& t) -> std::optional<QByteArray> {
                     return QByteArray::number(t.pathChangesTotal);
                 });

    if (format_ == Format::OpenMetrics) out += "# EOF\n";
    return out;
}

}  // namespace hoplark
