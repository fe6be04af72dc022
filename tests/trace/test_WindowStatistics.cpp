#include <gtest/gtest.h>

#include "trace/WindowStatistics.h"

namespace hoplark {
namespace {

// One merged sample as a probe delivers it: milliseconds, microseconds, round and clock.
struct Merged {
    qint32 ms;
    qint32 us;
    qint32 round;
    SampleClock clock = SampleClock::Kernel;
};

THostInfo recordOf(const std::vector<Merged>& samples) {
    THostInfo record(1);
    const SampleWindow all{0, 1000};
    for (const Merged& m : samples) {
        SampleDetail detail;
        detail.roundTripUs = m.us;
        detail.round = m.round;
        detail.clock = m.clock;
        record.AddSample(m.ms, all, detail, QStringLiteral("10.0.0.1"));
    }
    return record;
}

// Samples in microseconds, one per round, all answered.
THostInfo recordOfUs(const std::vector<qint32>& us) {
    std::vector<Merged> samples;
    for (size_t i = 0; i < us.size(); ++i)
        samples.push_back({us[i] / 1000, us[i], qint32(i + 1)});
    return recordOf(samples);
}

TEST(WindowStatistics, FiguresOfAHandComputedSequence) {
    // 1.0, 3.0, 2.0, 6.0 ms in the order sent.
    const WindowStatistics s =
        ComputeWindowStatistics(recordOfUs({1000, 3000, 2000, 6000}), {0, 3});
    EXPECT_EQ(s.sent, 4);
    EXPECT_EQ(s.received, 4);
    EXPECT_EQ(s.valid, 4);
    EXPECT_DOUBLE_EQ(*s.lossPercent, 0.0);
    EXPECT_DOUBLE_EQ(*s.meanUs, 3000.0);
    EXPECT_DOUBLE_EQ(*s.minUs, 1000.0);
    EXPECT_DOUBLE_EQ(*s.maxUs, 6000.0);
    EXPECT_DOUBLE_EQ(*s.lastUs, 6000.0);
    // Squared deviations 4e6 + 0 + 1e6 + 9e6 over n - 1 = 3. Updating the spread with the new
    // mean alone would give sqrt(10e6 / 3); the population form sqrt(14e6 / 4).
    EXPECT_NEAR(*s.stdevUs, std::sqrt(14e6 / 3), 1e-9);
    // |3-1| + |2-3| + |6-2| = 7 ms over 3 pairs; over the sorted samples it would be 5/3 ms.
    EXPECT_NEAR(*s.jitterUs, 7000.0 / 3, 1e-9);
    // J: 0 -> 125 -> 179.6875 -> 418.45703125.
    EXPECT_NEAR(*s.rfc3550JitterUs, 418.45703125, 1e-9);
    // Sorted 1, 2, 3, 6: the median is between 2 and 3; p95 at rank 2.85.
    EXPECT_DOUBLE_EQ(*s.medianUs, 2500.0);
    EXPECT_NEAR(*s.p95Us, 5550.0, 1e-9);
    EXPECT_EQ(*s.clock, SampleClock::Kernel);
}

TEST(WindowStatistics, JitterFollowsTheRoundsNotTheMergeOrder) {
    // Round 2's answer was merged before round 1's; round 3 lost one between.
    const THostInfo record =
        recordOf({{5, 5000, 2}, {1, 1000, 1}, {LOST_SAMPLE, -1, 3}, {2, 2000, 4}});
    const WindowStatistics s = ComputeWindowStatistics(record, {0, 3});
    // In rounds: 1, 5, 2 ms -> (4 + 3) / 2. In merge order it would be (4 + 1) / 2.
    EXPECT_NEAR(*s.jitterUs, 3500.0, 1e-9);
    EXPECT_NEAR(*s.rfc3550JitterUs, 4000.0 / 16 + (3000.0 - 4000.0 / 16) / 16, 1e-9);
    EXPECT_EQ(s.sent, 4);
    EXPECT_EQ(s.lost, 1);
    // Last is the latest round's answer, whatever was merged last; a lost last round keeps the
    // answer before it.
    EXPECT_DOUBLE_EQ(*ComputeWindowStatistics(
                          recordOf({{2, 2000, 2}, {1, 1000, 1}, {LOST_SAMPLE, -1, 3}}), {0, 2})
                          .lastUs,
                     2000.0);
    EXPECT_EQ(s.received, 3);
    EXPECT_DOUBLE_EQ(*s.lossPercent, 25.0);
    EXPECT_DOUBLE_EQ(*s.medianUs, 2000.0);
}

TEST(WindowStatistics, WindowBoundsAndDegenerateWindows) {
    struct Case {
        const char* name;
        std::vector<Merged> samples;
        SampleWindow window;
        qint32 sent, lost, valid;
        std::optional<double> loss, mean, stdev, jitter, median;
    };
    const std::vector<Case> cases = {
        {"Empty window", {{3, 3100, 1}}, {0, -1}, 0, 0, 0, {}, {}, {}, {}, {}},
        {"Window past the list", {{3, 3100, 1}}, {4, 9}, 0, 0, 0, {}, {}, {}, {}, {}},
        {"All lost",
         {{LOST_SAMPLE, -1, 1}, {LOST_SAMPLE, -1, 2}},
         {0, 9},
         2,
         2,
         0,
         100.0,
         {},
         {},
         {},
         {}},
        {"One sample", {{3, 3140, 1}}, {0, 9}, 1, 0, 1, 0.0, 3140.0, 0.0, 0.0, 3140.0},
        // Only positions 1..2 exist of the window 1..5; the lost sample before it is not counted.
        {"Part of the list",
         {{LOST_SAMPLE, -1, 1}, {2, 2500, 2}, {4, 4500, 3}},
         {1, 5},
         2,
         0,
         2,
         0.0,
         3500.0,
         std::sqrt(2e6),
         2000.0,
         3500.0},
        // A value outside 0..9998 other than 9999 was answered but enters no figure.
        {"Out of range answer",
         {{-5, -1, 1}, {7, 7000, 2}},
         {0, 1},
         2,
         0,
         1,
         0.0,
         7000.0,
         0.0,
         0.0,
         7000.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowStatistics s = ComputeWindowStatistics(recordOf(c.samples), c.window);
        EXPECT_EQ(s.sent, c.sent);
        EXPECT_EQ(s.lost, c.lost);
        EXPECT_EQ(s.received, c.sent - c.lost);
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.lossPercent, c.loss);
        EXPECT_EQ(s.meanUs, c.mean);
        EXPECT_EQ(s.minUs.has_value(), c.mean.has_value());
        EXPECT_EQ(s.p95Us.has_value(), c.mean.has_value());
        EXPECT_EQ(s.clock.has_value(), c.mean.has_value());
        ASSERT_EQ(s.stdevUs.has_value(), c.stdev.has_value());
        if (c.stdev) {
            EXPECT_NEAR(*s.stdevUs, *c.stdev, 1e-9);
        }
        EXPECT_EQ(s.jitterUs, c.jitter);
        EXPECT_EQ(s.medianUs, c.median);
    }
}

TEST(WindowStatistics, SamplesWithoutMicrosecondsCountTheirMilliseconds) {
    // A record filled sample by sample, as before microseconds were kept.
    THostInfo record(1);
    for (const qint32 ms : {4, 6})
        record.StoreSample(ms, SampleDetail{}, QString());
    const WindowStatistics s = ComputeWindowStatistics(record, {0, 1});
    EXPECT_DOUBLE_EQ(*s.meanUs, 5000.0);
    EXPECT_EQ(*s.clock, SampleClock::Monotonic);
}

TEST(WindowStatistics, ClockOfMostSamplesTieGoesToTheLatest) {
    using C = SampleClock;
    struct Case {
        std::vector<C> clocks;
        C expected;
    };
    const Case cases[] = {
        {{C::Kernel, C::Monotonic, C::Kernel}, C::Kernel},
        {{C::Kernel, C::KernelReceive}, C::KernelReceive},
        {{C::KernelReceive, C::Kernel, C::Kernel, C::KernelReceive, C::Monotonic},
         C::KernelReceive},
    };
    for (const Case& c : cases) {
        std::vector<Merged> samples;
        for (size_t i = 0; i < c.clocks.size(); ++i)
            samples.push_back({1, 1000, qint32(i + 1), c.clocks[i]});
        const WindowStatistics s = ComputeWindowStatistics(recordOf(samples), {0, 9});
        EXPECT_EQ(*s.clock, c.expected) << c.clocks.size();
    }
    EXPECT_STREQ(SampleClockName(C::Kernel), "kernel");
    EXPECT_STREQ(SampleClockName(C::KernelReceive), "kernel-rx");
    EXPECT_STREQ(SampleClockName(C::Monotonic), "monotonic");
}

TEST(WindowStatistics, PercentilesInterpolateBetweenRanks) {
    const std::vector<double> odd = {1, 2, 3, 4, 100};
    EXPECT_DOUBLE_EQ(InterpolatedPercentile(odd, 0.5), 3);
    EXPECT_DOUBLE_EQ(InterpolatedPercentile(odd, 0.95), 4 + 96 * 0.8);
    EXPECT_DOUBLE_EQ(InterpolatedPercentile(odd, 0.0), 1);
    EXPECT_DOUBLE_EQ(InterpolatedPercentile(odd, 1.0), 100);
    EXPECT_DOUBLE_EQ(InterpolatedPercentile({7}, 0.95), 7);
}

}  // namespace
}  // namespace hoplark
