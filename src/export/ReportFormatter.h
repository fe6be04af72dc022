#pragma once

#include <QIODevice>
#include <QString>
#include <optional>

#include "export/ReportFormat.h"
#include "trace/TraceState.h"

namespace hoplark {

// Where, when and by what a trace was taken, for the lines above a report's table.
struct ReportContext {
    QString sourceAddress;
    // Microseconds since the Unix epoch; 0 when unknown.
    qint64 startedUtcUs = 0;
    qint64 endedUtcUs = 0;
    QString delayText;
    qint32 delayMs = 0;
    QString version;
};

// Prints the hop table of a finished trace: the same rows the grid shows (hops up to the last
// one that answered, plus the "Destination Address Unreachable" marker), in one of three forms.
class ReportFormatter {
public:
    // `target` is the text as given; `shownHops` the number of hop rows the grid would show.
    // The text form always gives each hop's Loss% and Snt over the statistics window and its
    // loss verdict; `wide` adds the window's other statistics in milliseconds with fractions to
    // the text and CSV forms (JSON always carries them).
    ReportFormatter(const TraceState& state, QString target, int shownHops, bool wide = false);

    // With a context, each form also says where, when and by what the trace was taken: text
    // and CSV in lines above the table (CSV lines begin with "#"), JSON in keys of its own.
    void setContext(const ReportContext& context) { context_ = context; }

    QString format(ReportFormat format) const;
    // Writes the form to `out` as it goes (a long trace's JSON is never held whole); false
    // when the device refused a write.
    bool write(ReportFormat format, QIODevice& out) const;
    QString text() const;
    QString csv() const;
    QString json() const;

private:
    bool writeCsv(QIODevice& out) const;
    bool writeJson(QIODevice& out) const;

    const TraceState& state_;
    QString target_;
    int shownHops_;
    bool wide_;
    std::optional<ReportContext> context_;
};

}  // namespace hoplark
