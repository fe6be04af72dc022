#pragma once

#include <QPoint>

#include "trace/HostInfo.h"
#include "view/CellRect.h"

namespace hoplark {

// The points one row of the graph column draws its line and dot through. A point is present
// when its x is above 0 (the graph column never starts at x = 0).
struct GraphPoints {
    QPoint PrevPoint;  // nearest replying hop above, or (0, 0)
    QPoint NextPoint;  // nearest replying hop below, or (0, 0)
    QPoint CurPoint;   // where the line continues from
    QPoint DotPoint;   // this hop's own point, or (0, 0) when it never replied
};

// x of a latency on the scale 0 .. graphScale over `span` pixels from `left`; truncated toward
// zero and not clamped, so values above the scale lie right of the cell.
int LatencyToX(int left, qint32 latency, qint32 graphScale, int span);
// The same for a latency in microseconds.
int LatencyUsToX(int left, double latencyUs, qint32 graphScale, int span);

// The graph scale when marks sit at their microseconds: GraphScale, raised to the whole
// milliseconds that hold the largest maximum, so that no mark lies right of the cell.
qint32 MicrosecondGraphScale(qint32 GraphScale, const HopTable& HopList);

// The points for the row of record `index`, with `rect` its graph cell, W the scale's span and
// H the row height. Neighbours are searched over the whole table. With `microseconds` the points
// lie at the hops' microsecond means.
GraphPoints ComputeGraphPoints(int index, const CellRect& rect, int W, int H, qint32 GraphScale,
                               const HopTable& HopList, bool microseconds = false);

}  // namespace hoplark
