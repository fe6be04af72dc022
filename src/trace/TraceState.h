#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "trace/HostInfo.h"

namespace hoplark {

// How one round was launched: when, on the monotonic tick, and which hops it probed.
struct RoundLaunch {
    qint64 tickMs = 0;
    qint32 firstHop = 1;
    qint32 lastHop = 0;
};

// What a trace has measured so far: everything the grid, the clipboard text and the report
// read. The trace session owns and changes it on the UI thread; readers hold a const reference.
struct TraceState {
    HopTable HopList;
    // Milliseconds at the graph's right edge; never below 1.
    qint32 GraphScale = 1;
    // The statistics window (FirstSample, LastSample) every record is measured over.
    SampleWindow Window;
    // Rounds launched in this trace.
    qint32 SamplesTaken = 0;
    // The hop at which the target answered; 0 while not found.
    qint32 DestinationHop = 0;
    // The dotted address every worker probes, and the target's host name, as shown.
    QString TargetAddress;
    QString HostName;
    // When each round was launched, microseconds since the Unix epoch: entry r - 1 for round r.
    std::vector<qint64> RoundStartsUtcUs;

    // The router that last reported the target unreachable; empty while none did.
    QString UnreachableFrom;
    // The ICMP destination unreachable code of that report; absent while none came or when the
    // router's answer was not of that type.
    std::optional<quint8> UnreachableCode;
    // How each round of a live trace was launched: entry r - 1 for round r. Empty for a stored
    // trace, whose rounds are over.
    std::vector<RoundLaunch> RoundLaunches;

    // Whether round `round` (1-based) of a live trace probed `hop`.
    bool probed(qint32 round, qint32 hop) const {
        if (round < 1 || round > static_cast<qint32>(RoundLaunches.size())) return false;
        const RoundLaunch& launch = RoundLaunches[static_cast<size_t>(round - 1)];
        return hop >= launch.firstHop && hop <= launch.lastHop;
    }

    // The launch time of 1-based round `round`, or 0 when it is not known.
    qint64 roundStartUtcUs(qint32 round) const {
        if (round < 1 || round > static_cast<qint32>(RoundStartsUtcUs.size())) return 0;
        return RoundStartsUtcUs[static_cast<size_t>(round - 1)];
    }
};

}  // namespace hoplark
