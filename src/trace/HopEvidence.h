#pragma once

#include <QString>
#include <vector>

#include "trace/HostInfo.h"
#include "trace/LossVerdict.h"

namespace hoplark {

// One address that answered for a hop, and how many of the hop's answers in the window it gave.
struct ResponderShare {
    QString address;
    qint32 answers = 0;
};

// What the statistics window shows about one hop beyond its timing figures.
struct HopEvidence {
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
// The window holds sample positions of the rounds launched, so it covers rounds
// FirstSample + 1 .. LastSample + 1. Hops are matched by the round each sample was launched in,
// never by position: a hop that joined late, or whose lost answer arrived after later rounds'
// answers, has its samples at other positions than its neighbours. A round still waiting for
// some hop's result (a lost answer arrives only when its probe times out) is left out until the
// result is in. Samples without a known round take no part, nor does the unreachable marker row.
// One sample per hop and round is kept; should a round hold two, the one merged last counts.
std::vector<HopEvidence> GatherHopEvidence(const HopTable& hops, const SampleWindow& window);

}  // namespace hoplark
