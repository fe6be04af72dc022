#include <gtest/gtest.h>

#include "probe/EchoService.h"
#include "probe/EchoTiming.h"

namespace hoplark {
namespace {

constexpr int64_t Ms = 1'000'000;

TEST(EchoTiming, RoundTripPrefersKernelStampsAndRoundsToTheNearestMillisecond) {
    struct Case {
        const char* name;
        std::optional<int64_t> sent;
        std::optional<int64_t> received;
        int64_t monotonic;
        int32_t expected;
    };
    const int64_t t0 = 1'700'000'000LL * 1'000'000'000;
    const Case cases[] = {
        {"0.4 ms is a valid 0", t0, t0 + 400'000, 500'000, 0},
        {"11.96 ms is 12, not 11", t0, t0 + 11'960'000, 12 * Ms, 12},
        {"exactly half rounds up", t0, t0 + 2'500'000, 3 * Ms, 3},
        {"late wake-up at idle priority", t0, t0 + 11'970'000, 150 * Ms, 12},
        {"no send stamp", std::nullopt, t0, 7'400'000, 7},
        {"no receive stamp", t0, std::nullopt, 7'600'000, 8},
        {"wall clock stepped back", t0, t0 - 5 * Ms, 4 * Ms, 4},
        {"wall clock stepped forward", t0, t0 + 3600'000 * Ms, 4 * Ms, 4},
        {"never reaches the lost value", std::nullopt, std::nullopt, 20'000 * Ms, 9998},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RoundTripMs(c.sent, c.received, c.monotonic), c.expected) << c.name;
    }
}

TEST(EchoTiming, MeasurementKeepsMicrosecondsAndSaysHowItWasTimed) {
    struct Case {
        const char* name;
        std::optional<int64_t> sent;
        bool sentByKernel;
        std::optional<int64_t> received;
        int64_t monotonic;
        int64_t us;
        EchoClock clock;
        int32_t ms;
    };
    const int64_t t0 = 1'700'000'000LL * 1'000'000'000;
    const Case cases[] = {
        {"kernel at both ends", t0, true, t0 + 312'400, 900'000, 312, EchoClock::Kernel, 0},
        {"sub-microsecond rounds to nearest", t0, true, t0 + 2'500'500, 3 * Ms, 2501,
         EchoClock::Kernel, 3},
        {"user-space send time", t0, false, t0 + 7'700'000, 9 * Ms, 7700, EchoClock::KernelReceive,
         8},
        {"no receive stamp", t0, true, std::nullopt, 2'345'678, 2346, EchoClock::Monotonic, 2},
        {"implausible stamps", t0, true, t0 - 1, 1'000'000, 1000, EchoClock::Monotonic, 1},
        // 0.4995 ms is 500 us, and the millisecond figure follows the microseconds.
        {"the two figures agree", t0, true, t0 + 499'500, Ms, 500, EchoClock::Kernel, 1},
    };
    for (const auto& c : cases) {
        const EchoTime time = MeasureRoundTrip(c.sent, c.sentByKernel, c.received, c.monotonic);
        EXPECT_EQ(time.microseconds(), c.us) << c.name;
        EXPECT_EQ(time.clock, c.clock) << c.name;
        EXPECT_EQ(time.milliseconds(), c.ms) << c.name;
    }
}

TEST(EchoTiming, IcmpErrorsMapToFacilityStatuses) {
    EXPECT_EQ(StatusForIcmpError(11, 0), IP_TTL_EXPIRED_TRANSIT);
    EXPECT_EQ(StatusForIcmpError(11, 1), IP_TTL_EXPIRED_REASSEM);
    EXPECT_EQ(StatusForIcmpError(3, 0), IP_DEST_NET_UNREACHABLE);
    EXPECT_EQ(StatusForIcmpError(3, 1), IP_DEST_HOST_UNREACHABLE);
    EXPECT_EQ(StatusForIcmpError(3, 13), IP_DEST_HOST_UNREACHABLE);
    EXPECT_EQ(StatusForIcmpError(12, 0), IP_PARAM_PROBLEM);
}

}  // namespace
}  // namespace hoplark
