#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "export/MetricsSnapshot.h"

namespace hoplark {

// Writes served traces in the Prometheus text exposition format (version 0.0.4) or in
// OpenMetrics 1.0, with the names and units every monitoring query relies on.
class MetricsWriter {
public:
    enum class Format { Prometheus, OpenMetrics };

    static constexpr const char* PrometheusContentType = "text/plain; version=0.0.4; charset=utf-8";
    static constexpr const char* OpenMetricsContentType =
        "application/openmetrics-text; version=1.0.0; charset=utf-8";

    // OpenMetrics when the client's Accept header names it, the classic format otherwise.
    static Format negotiate(const QByteArray& acceptHeader);
    static const char* contentType(Format format);

    MetricsWriter(Format format, QString version) : format_(format), version_(std::move(version)) {}

    QByteArray write(const std::vector<TargetMetrics>& targets) const;

private:
    Format format_;
    QString version_;
};

}  // namespace hoplark
