#include "trace/PathEvidence.h"

namespace hoplark {

bool PathEvidence::Key::operator==(const Key& other) const {
    return window.FirstSample == other.window.FirstSample &&
           window.LastSample == other.window.LastSample && samplesTaken == other.samplesTaken &&
           destinationHop == other.destinationHop && targetAddress == other.targetAddress &&
           hops == other.hops;
}

PathEvidence::Key PathEvidence::keyOf(const TraceState& state) {
    Key key{state.Window, state.SamplesTaken, state.DestinationHop, state.TargetAddress, {}};
    key.hops.reserve(5 * static_cast<size_t>(state.HopList.count()));
    for (const THostInfo& hop : state.HopList) {
        key.hops.push_back(qint64(hop.Samples.size()));
        key.hops.push_back(hop.LostCount);
        key.hops.push_back(qint64(hop.Responders.size()));
        key.hops.push_back(hop.Samples.empty() ? -1 : hop.Samples.back());
        key.hops.push_back(hop.SampleRounds.empty() ? -1 : hop.SampleRounds.back());
    }
    return key;
}

void PathEvidence::refresh(const TraceState& state) {
    Key key = keyOf(state);
    if (key == key_) return;
    key_ = std::move(key);
    hops_ = GatherHopEvidence(state.HopList, state.Window);
    destinationLoss_.reset();
    const int destination = state.DestinationHop - 1;
    if (destination >= 0 && destination < count()) {
        const LossCounts& loss = hops_[static_cast<size_t>(destination)].loss;
        if (loss.samples > 0) destinationLoss_ = 100.0 * loss.lost / loss.samples;
    }
}

const HopEvidence* PathEvidence::hop(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return &hops_[static_cast<size_t>(index)];
}

}  // namespace hoplark
