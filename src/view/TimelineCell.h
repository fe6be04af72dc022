#pragma once

#include <QString>

#include "trace/HostInfo.h"
#include "view/DisplayOptions.h"

namespace hoplark {

// What one hop measured over a run of rounds: one pixel column of the timeline, or one round.
struct TimelineCell {
    qint32 answered = 0;
    // Lost or overdue probes: both read as lost, as the grid's figures count them.
    qint32 lost = 0;
    qint32 pending = 0;
    qint32 worstUs = -1;
    qint64 sumUs = 0;

    qint32 counted() const { return answered + lost; }
    bool blank() const { return counted() == 0; }
    double lostShare() const { return counted() ? double(lost) / counted() : 0.0; }
    double meanUs() const { return answered ? double(sumUs) / answered : 0.0; }

    // Sums up `record`'s rounds [firstRound, lastRound] (1-based, both inclusive); rounds it has
    // no sample for are not probed.
    static TimelineCell over(const THostInfo& record, qint64 firstRound, qint64 lastRound);

    // "12 ms", "12.34 ms", "lost", "pending", "not probed"; for several rounds
    // "worst 40 ms, mean 12 ms, 3 of 64 lost".
    QString text(const DisplayOptions& options, qint64 rounds) const;
};

}  // namespace hoplark
