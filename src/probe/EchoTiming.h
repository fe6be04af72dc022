#pragma once

#include <cstdint>
#include <optional>

namespace hoplark {

// How an echo's round trip was timed: kernel stamps at both ends, a kernel receive stamp with a
// user-space send time, or the monotonic clock alone.
enum class EchoClock : uint8_t { Kernel = 0, KernelReceive = 1, Monotonic = 2 };

// The round trip of one echo in whole milliseconds, rounded to the nearest (truncating would
// under-report every hop by half a millisecond on average).
//
// `kernelSentNs` / `kernelReceivedNs` are the kernel's software stamps (wall clock, ns) and are
// preferred: the workers run at idle priority, so a clock read after the wake-up can be late by
// far more than the round trip itself. `monotonicElapsedNs` is the monotonic time from just
// before sending to the wake-up; it is used when a stamp is missing or the kernel interval is
// implausible (negative, or longer than the interval that must contain it, as after a
// wall-clock step). The result never reaches the lost-sample value 9999.
int32_t RoundTripMs(std::optional<int64_t> kernelSentNs, std::optional<int64_t> kernelReceivedNs,
                    int64_t monotonicElapsedNs);

}  // namespace hoplark
