#pragma once

#include <QString>

#include "trace/HostInfo.h"
#include "trace/TraceState.h"

namespace hoplark {

// The rules by which results and names reach the hop table, shared by the live session and by
// whatever rebuilds a table from a stored trace, so that both end with the same table.
class HopMerge {
public:
    // One worker result for `hop` with millisecond `sample`. Results beyond a found destination,
    // or for a hop outside 1..35, change nothing. `fromTarget` says the responder is the target
    // itself. With `recalc` false the statistics are left for one RecalcAll at the end.
    static void MergeResult(TraceState& state, qint32 hop, qint32 sample,
                            const SampleDetail& detail, const QString& responder, bool fromTarget,
                            bool recalc = true);

    // Marks where a full table without the target ends and returns the grid's row count, header
    // row included.
    static int MarkPathEnd(HopTable& hops);

    // The hop rows the grid shows: up to the unreachable marker or the last hop that answered,
    // at least the first hop of a table that has one. The records past them never answered.
    static int ShownHopCount(const HopTable& hops);

    // A reverse name for `hop`; taken while the record has none or only the no-name
    // placeholder. Returns whether the table changed.
    static bool MergeName(HopTable& hops, qint32 hop, const QString& name);
};

}  // namespace hoplark
