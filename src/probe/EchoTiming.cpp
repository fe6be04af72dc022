#include "probe/EchoTiming.h"

#include <algorithm>

namespace hoplark {
namespace {

constexpr int64_t NsPerMs = 1'000'000;
// The kernel stamps are taken inside the user-space interval; allow a little for the two clocks
// being read at slightly different moments.
constexpr int64_t StampSlackNs = NsPerMs;
constexpr int32_t LargestSample = 9998;

int32_t roundToMs(int64_t ns) {
    if (ns < 0) ns = 0;
    const int64_t ms = (ns + NsPerMs / 2) / NsPerMs;
    return static_cast<int32_t>(std::min<int64_t>(ms, LargestSample));
}

}  // namespace

int32_t RoundTripMs(std::optional<int64_t> kernelSentNs, std::optional<int64_t> kernelReceivedNs,
                    int64_t monotonicElapsedNs) {
    if (kernelSentNs && kernelReceivedNs) {
        const int64_t kernelNs = *kernelReceivedNs - *kernelSentNs;
        if (kernelNs >= 0 && kernelNs <= monotonicElapsedNs + StampSlackNs) {
            return roundToMs(kernelNs);
        }
    }
    return roundToMs(monotonicElapsedNs);
}

}  // namespace hoplark
