#include "probe/EchoTiming.h"

#include <algorithm>

namespace hoplark {
namespace {

constexpr int64_t NsPerMs = 1'000'000;
// The kernel stamps are taken inside the user-space interval; allow a little for the two clocks
// being read at slightly different moments.
constexpr int64_t StampSlackNs = NsPerMs;
constexpr int32_t LargestSample = 9998;

}  // namespace

// From the rounded microseconds, so that the two figures of one sample always agree.
int32_t EchoTime::milliseconds() const {
    const int64_t ms = (microseconds() + 500) / 1000;
    return static_cast<int32_t>(std::min<int64_t>(ms, LargestSample));
}

int64_t EchoTime::microseconds() const {
    return (std::max<int64_t>(ns, 0) + 500) / 1000;
}

EchoTime MeasureRoundTrip(std::optional<int64_t> sentNs, bool sentByKernel,
                          std::optional<int64_t> receivedNs, int64_t monotonicElapsedNs) {
    if (sentNs && receivedNs) {
        const int64_t stamped = *receivedNs - *sentNs;
        if (stamped >= 0 && stamped <= monotonicElapsedNs + StampSlackNs) {
            return {stamped, sentByKernel ? EchoClock::Kernel : EchoClock::KernelReceive};
        }
    }
    return {std::max<int64_t>(monotonicElapsedNs, 0), EchoClock::Monotonic};
}

int32_t RoundTripMs(std::optional<int64_t> kernelSentNs, std::optional<int64_t> kernelReceivedNs,
                    int64_t monotonicElapsedNs) {
    return MeasureRoundTrip(kernelSentNs, true, kernelReceivedNs, monotonicElapsedNs)
        .milliseconds();
}

}  // namespace hoplark
