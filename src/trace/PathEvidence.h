#pragma once

#include <optional>
#include <vector>

#include "trace/HopEvidence.h"
#include "trace/TraceState.h"

namespace hoplark {

// The hop evidence of a trace, kept until the table or the window changes, so that painting
// every cell of a repaint costs one pass over the samples.
class PathEvidence {
public:
    // Recomputes from `state` when it changed since the last call: every hop's revision and size
    // tell, also across a new trace.
    void refresh(const TraceState& state);

    // The evidence of the record at `index`, or nullptr outside the table.
    const HopEvidence* hop(int index) const;
    int count() const { return static_cast<int>(hops_.size()); }

    // The share of the destination's samples in the window that were lost, in percent; empty
    // while the destination is not known or has no sample in the window.
    std::optional<double> destinationLossPercent() const { return destinationLoss_; }

private:
    struct Key {
        SampleWindow window;
        qint32 samplesTaken = -1;
        qint32 destinationHop = -1;
        QString targetAddress;
        // Per hop: its sample count, revision and marker flag.
        std::vector<qint64> hops;
        bool operator==(const Key& other) const;
    };
    static Key keyOf(const TraceState& state);

    Key key_;
    std::vector<HopEvidence> hops_;
    std::optional<double> destinationLoss_;
};

}  // namespace hoplark
