#pragma once

#include <QIODevice>
#include <QLatin1String>
#include <QString>
#include <utility>
#include <vector>

#include "trace/TraceState.h"

namespace hoplark {

// The displayed window of a trace as a file for other tools: CSV or JSON, one row per hop (its
// statistics over the window) or one row per probe (every sample of the window with its round,
// round start, microseconds, responder and clock). Both say what was traced and when.
class TraceExport {
public:
    enum class Format { Csv, Json };
    enum class Rows { PerHop, PerProbe };

    struct About {
        QString target;
        QString sourceAddress;
        QString version;
    };

    // `shownHops`: the hop rows the grid shows (the rest are never-answering hops past the end).
    TraceExport(const TraceState& state, About about, int shownHops);

    QString build(Format format, Rows rows) const;
    // Writes the export to `out` as it goes, so a day of probes is never held whole; false when
    // the device refused a write.
    bool write(Format format, Rows rows, QIODevice& out) const;

private:
    // Target, address, source, first and last round with their times, version.
    std::vector<std::pair<QLatin1String, QString>> context() const;
    bool writeCsv(Rows rows, QIODevice& out) const;
    bool writeJson(Rows rows, QIODevice& out) const;

    const TraceState& state_;
    About about_;
    int shownHops_;
};

}  // namespace hoplark
