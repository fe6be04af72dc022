#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "trace/HostInfo.h"
#include "trace/LossVerdict.h"
#include "trace/WindowStatistics.h"

namespace hoplark {

// One address that answered for a hop, and how many of the hop's answers in the window it gave.
struct ResponderShare {
    QString address;
    qint32 answers = 0;
};

// Everything the statistics window says about one hop: its figures, who answered, and what its
// losses mean for the path. Every view and export reads this, so a figure means one thing
// everywhere.
struct HopEvidence {
    WindowStatistics stats;
    // The loss of traffic forwarded up to this hop, in percent: the smallest loss share among
    // this hop and every hop after it that answered in the window. Absent when the hop has no
    // counted sample in the window.
    std::optional<double> pathLossPercent;
    LossCounts loss;
    LossVerdict verdict = LossVerdict::None;
    // Every address that answered in the window, most answers first (ties in the order first
    // seen). Several mean the path through this hop changes between rounds.
    std::vector<ResponderShare> responders;
    // Answers with a known responder, the sum over `responders`.
    qint32 answers = 0;
};

// The evidence for every record of the table (index k for hop k + 1) over `window`.
//
// The window covers rounds FirstSample + 1 .. LastSample + 1, the same positions of every hop.
// For the loss verdicts, a round still waiting for some hop's result (pending, not yet overdue)
// is left out until the result is in or overdue. The unreachable marker row takes no part.
std::vector<HopEvidence> GatherHopEvidence(const HopTable& hops, const SampleWindow& window);

}  // namespace hoplark
