#pragma once

#include <QColor>
#include <QString>
#include <functional>
#include <optional>

#include "trace/PathEvidence.h"
#include "trace/TraceState.h"

namespace hoplark {

// What the grid shows of each hop's loss evidence and responders: the IP cell's text, whether
// the Err count is muted, the cells' tool tips and the destination's loss. Rows are grid rows
// (row 1 is hop 1). The evidence is recomputed only when the trace changed.
class GridEvidence {
public:
    explicit GridEvidence(std::function<const TraceState&()> state);

    // The Err count of a router that only limits its answers is drawn in this colour.
    static const QColor MutedColor;

    // True when the hop's lost samples are its router limiting its answers.
    bool rateLimited(int row) const;
    // The main responder (most answers in the window), with "+N" for N other responders; the
    // record's own address while the window holds no answer.
    QString ipText(int row) const;
    // The Err cell's explanation; empty for a hop without loss in the window.
    QString errToolTip(int row) const;
    // Every responder in the window with its share; empty when nobody answered.
    QString ipToolTip(int row) const;
    // "Loss to destination: 2 %"; empty while the destination is not known.
    QString destinationLossText() const;

    const PathEvidence& evidence() const;
    // The statistics window's figures of a hop row; nullptr for rows without a hop and for the
    // unreachable marker.
    const WindowStatistics* statistics(int row) const;

private:
    // The record and evidence of a hop row, or nulls for rows without a hop.
    std::pair<const THostInfo*, const HopEvidence*> hopAt(int row) const;

    std::function<const TraceState&()> state_;
    mutable PathEvidence evidence_;
};

// A share in percent as shown: whole numbers plainly ("2 %"), others to one decimal ("33.3 %"),
// a share above 0 never as "0 %" and one below 100 never as "100 %".
QString PercentText(double percent);

}  // namespace hoplark
