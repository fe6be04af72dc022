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
    key.hops.reserve(3 * static_cast<size_t>(state.HopList.count()));
    for (const THostInfo& hop : state.HopList) {
        key.hops.push_back(qint64(hop.Samples.size()));
        key.hops.push_back(qint64(hop.Revision));
        key.hops.push_back(hop.Unreachable ? 1 : 0);
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
        destinationLoss_ = hops_[static_cast<size_t>(destination)].stats.lossPercent;
    }
}

const HopEvidence* PathEvidence::hop(int index) const {
    if (index < 0 || index >= count()) return nullptr;
    return &hops_[static_cast<size_t>(index)];
}

}  // namespace hoplark
