#include "trace/LossVerdict.h"

namespace hoplark {

LossVerdict JudgeLoss(const LossCounts& counts) {
    if (counts.lost <= 0 || counts.samples <= 0) return LossVerdict::None;
    // With nothing probed beyond, no round can show the probe went through.
    if (!counts.hasLaterHops) return LossVerdict::Loss;
    // Per-round evidence alone is not enough: independent drops on a lossy link also leave
    // later hops answering in most rounds. What tells the two apart is whether the hops beyond
    // lose about as much.
    const double ownShare = double(counts.lost) / counts.samples;
    const bool mostlyWentThrough =
        counts.notForwarded >= RateLimitedNotForwardedShare * counts.lost;
    const bool carriesOn = counts.downstreamLossShare >= CarriesOnFraction * ownShare;
    return mostlyWentThrough && !carriesOn ? LossVerdict::RateLimited : LossVerdict::Loss;
}

}  // namespace hoplark
