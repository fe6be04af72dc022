#pragma once

#include <QtGlobal>

namespace hoplark {

// What a hop's lost samples say about the path.
enum class LossVerdict {
    // No sample of the hop was lost.
    None,
    // The router did not answer, but the probes went through it: later hops answered in the same
    // rounds and lose far less. Its own ICMP answers are limited; forwarded traffic is not lost.
    RateLimited,
    // The loss carries on beyond the hop (or nothing beyond it was probed): real loss.
    Loss,
};

// One hop's lost samples over the statistics window, split by what happened beyond it in the
// same rounds.
struct LossCounts {
    // The hop's samples in the window's rounds, and how many of them were lost.
    qint32 samples = 0;
    qint32 lost = 0;
    // Lost while some later hop (or the destination) answered in the same round: the probe went
    // through this hop.
    qint32 notForwarded = 0;
    // Lost while nothing beyond answered.
    qint32 pathLoss = 0;
    // Whether any hop beyond this one has samples in the window.
    bool hasLaterHops = false;
    // The smallest share (0..1) of lost samples among the hops beyond, each over its own samples
    // in the window: real loss at this hop shows up at every hop after it.
    double downstreamLossShare = 0;
};

// At least this share of the lost samples must have gone through the hop for it to count as
// limiting its answers.
inline constexpr double RateLimitedNotForwardedShare = 0.75;
// The loss carries on when the least lossy hop beyond loses at least this fraction of the hop's
// own loss share.
inline constexpr double CarriesOnFraction = 0.5;

// The verdict for one hop's counts.
LossVerdict JudgeLoss(const LossCounts& counts);

}  // namespace hoplark
