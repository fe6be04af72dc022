#include "trace/HopMerge.h"

#include <algorithm>

namespace hoplark {

void HopMerge::MergeResult(TraceState& state, qint32 hop, qint32 sample, const SampleDetail& detail,
                           const QString& responder, bool fromTarget, bool recalc) {
    // A hop outside 1..35 cannot come from a probe; taking it would grow the table past its
    // bound.
    if (hop < 1 || hop > HopTable::MaxHops) return;
    HopTable& hops = state.HopList;
    qint32& destination = state.DestinationHop;
    if (destination != 0 && hop > destination) return;

    if (fromTarget && (destination == 0 || hop < destination)) {
        destination = hop;
        while (hops.count() > destination)
            hops.removeLast();
    }

    const SampleWindow& window = state.Window;
    if (recalc && sample < LOST_SAMPLE && sample > state.GraphScale &&
        window.LastSample + 1 == state.SamplesTaken)
        state.GraphScale = sample;

    while (hops.count() < hop) {
        // A hop that joins late was probed in the rounds launched so far whose results are
        // still out: those positions wait as pending, the rest stay empty.
        THostInfo& added = hops.append();
        for (qint32 round = 1; round <= state.SamplesTaken; ++round) {
            if (state.probed(round, added.Hop)) added.MarkPending(round);
        }
    }
    THostInfo& record = hops.at(hop - 1);
    if (record.IP.isEmpty()) record.IP = responder;
    if (recalc) {
        record.AddSample(sample, window, detail, responder);
    } else {
        record.StoreSample(sample, detail, responder);
    }
}

int HopMerge::MarkPathEnd(HopTable& hops) {
    int i = hops.count() - 1;
    while (i > 0 && !hops.at(i).HasReplies())
        --i;
    // A full table without the target: the hop after the last one that ever answered marks
    // where the path ends, and rounds no longer probe beyond it.
    if (hops.count() == HopTable::MaxHops && i < HopTable::MaxHops - 1) {
        ++i;
        hops.at(i).DNSName = UNREACHABLE_NAME;
        hops.at(i).Unreachable = true;
    }
    return std::max(1, i + 2);
}

int HopMerge::ShownHopCount(const HopTable& hops) {
    if (hops.isEmpty()) return 0;
    int i = hops.count() - 1;
    while (i > 0 && !hops.at(i).HasReplies() && !hops.at(i).Unreachable)
        --i;
    return i + 1;
}

bool HopMerge::MergeName(HopTable& hops, qint32 hop, const QString& name) {
    if (hop < 1 || hop > hops.count()) return false;
    THostInfo& record = hops.at(hop - 1);
    if (!record.DNSName.isEmpty() && record.DNSName != NO_NAME) return false;
    record.DNSName = name;
    return true;
}

}  // namespace hoplark
