#include "trace/HopEvidence.h"

#include <algorithm>
#include <limits>

namespace hoplark {

namespace {

enum class RoundState : quint8 { Absent, Answered, Lost };

// One hop's samples laid out by round over the window.
struct HopRounds {
    std::vector<RoundState> state;
    std::vector<quint8> responder;
    // The first and last round offset holding a sample; first > last when none does.
    qint64 first = 0;
    qint64 last = -1;
};

HopRounds layOut(const THostInfo& hop, qint32 firstRound, qint32 lastRound) {
    const size_t span = static_cast<size_t>(lastRound - firstRound) + 1;
    HopRounds rounds{std::vector<RoundState>(span, RoundState::Absent),
                     std::vector<quint8>(span, NoResponder), qint64(span), -1};
    // Position p holds round p + 1.
    const qint64 last = std::min<qint64>(lastRound, qint64(hop.Samples.size()));
    for (qint64 round = firstRound; round <= last; ++round) {
        const HopSample& sample = hop.Samples[static_cast<size_t>(round - 1)];
        if (!sample.counted()) continue;
        const qint64 at = round - firstRound;
        rounds.state[size_t(at)] = sample.lost() ? RoundState::Lost : RoundState::Answered;
        rounds.responder[size_t(at)] = sample.responder;
        rounds.first = std::min(rounds.first, at);
        rounds.last = std::max(rounds.last, at);
    }
    return rounds;
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
    const size_t span = static_cast<size_t>(lastRound - firstRound) + 1;

    std::vector<HopRounds> rounds(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (!hops.at(i).Unreachable) rounds[size_t(i)] = layOut(hops.at(i), firstRound, lastRound);
    }

    // A round still waiting for a hop's result (pending, not yet overdue) between that hop's
    // first and last counted round is left out for every hop, so that a later hop's pending
    // answer is not taken for a loss beyond this one.
    std::vector<bool> complete(span, true);
    for (const HopRounds& hop : rounds) {
        for (qint64 at = hop.first; at <= hop.last; ++at) {
            if (hop.state[size_t(at)] == RoundState::Absent) complete[size_t(at)] = false;
        }
    }

    // The farthest hop (by index) that answered in each complete round.
    std::vector<int> farthest(span, -1);
    for (int i = 0; i < count; ++i) {
        const HopRounds& hop = rounds[size_t(i)];
        for (qint64 at = hop.first; at <= hop.last; ++at) {
            if (complete[size_t(at)] && hop.state[size_t(at)] == RoundState::Answered) {
                farthest[size_t(at)] = i;
            }
        }
    }

    for (int i = 0; i < count; ++i) {
        const THostInfo& record = hops.at(i);
        if (record.Unreachable) continue;
        const HopRounds& hop = rounds[size_t(i)];
        HopEvidence& entry = evidence[static_cast<size_t>(i)];
        entry.stats = ComputeWindowStatistics(record, window);
        std::vector<qint32> answersBy(record.Responders.size(), 0);
        for (qint64 at = hop.first; at <= hop.last; ++at) {
            const RoundState state = hop.state[size_t(at)];
            if (!complete[size_t(at)] || state == RoundState::Absent) continue;
            ++entry.loss.samples;
            if (state == RoundState::Lost) {
                ++entry.loss.lost;
                if (farthest[size_t(at)] > i) {
                    ++entry.loss.notForwarded;
                } else {
                    ++entry.loss.pathLoss;
                }
            } else if (hop.responder[size_t(at)] < answersBy.size()) {
                ++answersBy[hop.responder[size_t(at)]];
            }
        }
        for (size_t k = 0; k < answersBy.size(); ++k) {
            if (answersBy[k] == 0) continue;
            entry.responders.push_back({record.Responders[k], answersBy[k]});
            entry.answers += answersBy[k];
        }
        std::stable_sort(
            entry.responders.begin(), entry.responders.end(),
            [](const ResponderShare& a, const ResponderShare& b) { return a.answers > b.answers; });
    }

    // The least lossy hop beyond each hop, walking from the far end. Drops are independent per
    // packet, so what is lost up to a hop shows at every hop after it that answers: the
    // smallest loss among the hop and those is the path's loss up to it; loss a later hop does
    // not show did not carry on.
    double leastLossBeyond = std::numeric_limits<double>::infinity();
    double leastAnsweringLoss = std::numeric_limits<double>::infinity();
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
        const WindowStatistics& stats = entry.stats;
        if (stats.sent > 0) {
            const double own = double(stats.lost) / stats.sent;
            entry.pathLossPercent = 100.0 * std::min(own, leastAnsweringLoss);
            if (stats.received > 0) leastAnsweringLoss = std::min(leastAnsweringLoss, own);
        }
    }
    return evidence;
}

}  // namespace hoplark
