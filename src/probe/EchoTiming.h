#pragma once

#include <cstdint>
#include <optional>

namespace hoplark {

// How an echo's round trip was timed: kernel stamps at both ends, a kernel receive stamp with a
// user-space send time, or the monotonic clock alone.
enum class EchoClock : uint8_t { Kernel = 0, KernelReceive = 1, Monotonic = 2 };

// One round trip as measured, before any rounding.
struct EchoTime {
    int64_t ns = 0;
    EchoClock clock = EchoClock::Monotonic;

    // Whole milliseconds, rounded to the nearest (truncating would under-report every hop by
    // half a millisecond on average); never the lost-sample value 9999.
    int32_t milliseconds() const;
    // Microseconds, rounded to the nearest.
    int64_t microseconds() const;
};

// The interval between the send and the receive of one echo.
//
// `sentNs` / `receivedNs` are wall-clock times; `sentByKernel` tells whether the send time is
// the kernel's software stamp (otherwise it was read just before the send call), and
// `receivedNs` is always the kernel's. They are preferred: a clock read after the wake-up can be
// late by far more than the round trip itself. `monotonicElapsedNs` is the monotonic time from
// just before sending to the receipt; it is used when a stamp is missing or the stamped interval
// is implausible (negative, or longer than the interval that must contain it, as after a
// wall-clock step).
EchoTime MeasureRoundTrip(std::optional<int64_t> sentNs, bool sentByKernel,
                          std::optional<int64_t> receivedNs, int64_t monotonicElapsedNs);

// The millisecond figure of MeasureRoundTrip with both stamps taken by the kernel.
int32_t RoundTripMs(std::optional<int64_t> kernelSentNs, std::optional<int64_t> kernelReceivedNs,
                    int64_t monotonicElapsedNs);

}  // namespace hoplark
