#pragma once

#include <QString>

#include "app/ReportOptions.h"
#include "trace/TraceState.h"

namespace hoplark {

// Prints the hop table of a finished trace: the same rows the grid shows (hops up to the last
// one that answered, plus the "Destination Address Unreachable" marker), in one of three forms.
class ReportFormatter {
public:
    // `target` is the text as given; `shownHops` the number of hop rows the grid would show.
    // `wide` adds the window's statistics in milliseconds with fractions to the text and CSV
    // forms (JSON always carries them).
    ReportFormatter(const TraceState& state, QString target, int shownHops, bool wide = false);

    QString format(ReportFormat format) const;
    QString text() const;
    QString csv() const;
    QString json() const;

private:
    const TraceState& state_;
    QString target_;
    int shownHops_;
    bool wide_;
};

}  // namespace hoplark
