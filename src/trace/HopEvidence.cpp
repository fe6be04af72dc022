#include "trace/HopEvidence.h"

#include <algorithm>
#include <limits>

namespace hoplark {

namespace {

// Calls `visit(round, value, responder)` for every sample of `hop` whose round lies in
// [firstRound, lastRound]; `responder` is NoResponder where none is known.
template <typename Visit>
void forEachSampleInRounds(const THostInfo& hop, qint32 firstRound, qint32 lastRound, Visit visit) {
    // The parallel lists exist only for samples merged with their detail.
    const size_t known = std::min(hop.Samples.size(), hop.SampleRounds.size());
    for (size_t p = 0; p < known; ++p) {
        const qint32 round = hop.SampleRounds[p];
        if (round < firstRound || round > lastRound) continue;
        const quint8 responder =
            p < hop.SampleResponders.size() ? hop.SampleResponders[p] : NoResponder;
        visit(round, hop.Samples[p], responder);
    }
}

}  // namespace

std::vector<HopEvidence> GatherHopEvidence(const HopTable& hops, const SampleWindow& window) {
    const int count = hops.count();
    std::vector<HopEvidence> evidence(static_cast<size_t>(count));
    // Round 0 means "unknown", so the window never reaches below round 1.
    const qint32 firstRound = std::max<qint32>(window.FirstSample, 0) + 1;
    const qint64 lastRound64 = qint64(window.LastSample) + 1;
    if (lastRound64 < firstRound) return evidence;
    const qint32 lastRound = static_cast<qint32>(lastRound64);

    // The farthest hop (by index) that answered in each round of the window.
    std::vector<qint8> farthest(static_cast<size_t>(lastRound - firstRound) + 1, -1);
    for (int i = 0; i < count; ++i) {
        const THostInfo& hop = hops.at(i);
        if (hop.Unreachable) continue;
        forEachSampleInRounds(hop, firstRound, lastRound, [&](qint32 round, qint32 value, quint8) {
            if (value == LOST_SAMPLE) return;
            qint8& slot = farthest[static_cast<size_t>(round - firstRound)];
            slot = std::max<qint8>(slot, static_cast<qint8>(i));
        });
    }

    for (int i = 0; i < count; ++i) {
        const THostInfo& hop = hops.at(i);
        if (hop.Unreachable) continue;
        HopEvidence& entry = evidence[static_cast<size_t>(i)];
        std::vector<qint32> answersBy(hop.Responders.size(), 0);
        forEachSampleInRounds(hop, firstRound, lastRound,
                              [&](qint32 round, qint32 value, quint8 responder) {
                                  ++entry.loss.samples;
                                  if (value == LOST_SAMPLE) {
                                      ++entry.loss.lost;
                                      if (farthest[static_cast<size_t>(round - firstRound)] > i) {
                                          ++entry.loss.notForwarded;
                                      } else {
                                          ++entry.loss.pathLoss;
                                      }
                                  } else if (responder < answersBy.size()) {
                                      ++answersBy[responder];
                                  }
                              });
        for (size_t k = 0; k < answersBy.size(); ++k) {
            if (answersBy[k] == 0) continue;
            entry.responders.push_back({hop.Responders[k], answersBy[k]});
            entry.answers += answersBy[k];
        }
        std::stable_sort(
            entry.responders.begin(), entry.responders.end(),
            [](const ResponderShare& a, const ResponderShare& b) { return a.answers > b.answers; });
    }

    // The least lossy hop beyond each hop, walking from the far end.
    double leastLossBeyond = std::numeric_limits<double>::infinity();
    for (int i = count - 1; i >= 0; --i) {
        HopEvidence& entry = evidence[static_cast<size_t>(i)];
        if (hops.at(i).Unreachable) continue;
        entry.loss.hasLaterHops = leastLossBeyond <= 1.0;
        entry.loss.downstreamLossShare = entry.loss.hasLaterHops ? leastLossBeyond : 0.0;
        entry.verdict = JudgeLoss(entry.loss);
        if (entry.loss.samples > 0) {
            leastLossBeyond =
                std::min(leastLossBeyond, double(entry.loss.lost) / entry.loss.samples);
        }
    }
    return evidence;
}

}  // namespace hoplark
