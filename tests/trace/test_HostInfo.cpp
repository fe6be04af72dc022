#include <gtest/gtest.h>

#include "support/SampleLists.h"
#include "trace/HostInfo.h"

namespace hoplark {
namespace {

SampleWindow window(qint32 first, qint32 last) {
    return SampleWindow{first, last};
}

THostInfo recordWith(std::initializer_list<qint32> samples, const SampleWindow& w) {
    THostInfo record(1);
    for (qint32 v : samples)
        record.AddSample(v, w);
    return record;
}

struct StatsCase {
    const char* name;
    std::vector<qint32> samples;
    SampleWindow window;
    qint16 avg, min, max, cur;
    qint32 lost;
    bool hasReplies;
};

void PrintTo(const StatsCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowStats : public testing::TestWithParam<StatsCase> {};

TEST_P(WindowStats, MatchesTheRules) {
    const StatsCase& c = GetParam();
    THostInfo record(3);
    for (qint32 v : c.samples)
        record.AddSample(v, c.window);
    EXPECT_EQ(record.AvgTime, c.avg);
    EXPECT_EQ(record.MinTime, c.min);
    EXPECT_EQ(record.MaxTime, c.max);
    EXPECT_EQ(record.CurTime, c.cur);
    EXPECT_EQ(record.LostCount, c.lost);
    EXPECT_EQ(record.HasReplies(), c.hasReplies);
    EXPECT_EQ(msOf(record), c.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowStats,
    testing::Values(
        StatsCase{"TwoSamples", {10, 11}, {0, 9}, 10, 10, 11, 11, 0, true},
        StatsCase{"MeanDropsFraction", {10, 11, 12, 11}, {0, 9}, 11, 10, 12, 11, 0, true},
        StatsCase{"OnlyLost", {9999, 9999}, {0, 9}, 0, 0, 0, 9999, 2, false},
        StatsCase{"ValidThenLost", {20, 9999}, {0, 9}, 20, 20, 20, 9999, 1, true},
        StatsCase{"WindowPastTheList", {1, 2, 3, 4, 5, 6, 7, 8}, {5, 14}, 7, 6, 8, 8, 0, true},
        StatsCase{"LostOutsideWindowCounts", {9999, 30, 40}, {1, 2}, 35, 30, 40, 40, 1, true},
        StatsCase{"ZeroIsValid", {0}, {0, 0}, 0, 0, 0, 0, 0, true},
        // Values outside 0..9998 other than 9999 are neither valid nor lost.
        StatsCase{"OutOfRangeValues", {-5, 10000, 50}, {0, 2}, 50, 50, 50, 50, 0, true},
        StatsCase{"OutOfRangeIsCurrent", {50, -5}, {0, 1}, 50, 50, 50, -5, 0, true},
        StatsCase{"OnlyOutOfRangeReplies", {40000}, {0, 0}, 0, 0, 0, -25536, 0, true}),
    [](const testing::TestParamInfo<StatsCase>& info) { return std::string(info.param.name); });

TEST(HostInfo, NewRecordIsZeroed) {
    const THostInfo record(7);
    EXPECT_EQ(record.Hop, 7);
    EXPECT_TRUE(record.IP.isEmpty());
    EXPECT_TRUE(record.DNSName.isEmpty());
    EXPECT_EQ(record.MaxTime, 0);
    EXPECT_EQ(record.MinTime, 0);
    EXPECT_EQ(record.AvgTime, 0);
    EXPECT_EQ(record.CurTime, 0);
    EXPECT_EQ(record.LostCount, 0);
    EXPECT_FALSE(record.Unreachable);
    EXPECT_FALSE(record.HasReplies());
}

TEST(HostInfo, EmptyWindowZeroesStatsAndKeepsCurrent) {
    THostInfo record = recordWith({10, 30}, window(0, 9));
    ASSERT_EQ(record.CurTime, 30);
    record.RecalcStats(window(0, -1));
    EXPECT_EQ(record.AvgTime, 0);
    EXPECT_EQ(record.MinTime, 0);
    EXPECT_EQ(record.MaxTime, 0);
    EXPECT_EQ(record.CurTime, 30);
    // A window wholly past the list is empty in the same way.
    record.RecalcStats(window(5, 9));
    EXPECT_EQ(record.CurTime, 30);
    EXPECT_EQ(record.MaxTime, 0);
}

TEST(HostInfo, IncrementalResultsEqualFullRecomputation) {
    // The same samples seen through many windows, grown one sample at a time, must give what a
    // fresh record computes over the same window.
    const std::vector<qint32> samples = {5, 9999, 17, 3, 9999, 250, 0, 1200, 9999, 44, 7, 9998};
    const std::vector<SampleWindow> windows = {{0, 100}, {0, 3},  {2, 7},
                                               {4, 100}, {0, -1}, {11, 11}};
    for (const SampleWindow& w : windows) {
        THostInfo grown(1);
        for (size_t n = 0; n < samples.size(); ++n) {
            grown.AddSample(samples[n], w);
            THostInfo fresh(1);
            for (size_t k = 0; k <= n; ++k) {
                SampleDetail detail;
                if (samples[k] >= 0 && samples[k] < LOST_SAMPLE)
                    detail.roundTripUs = samples[k] * 1000;
                fresh.StoreSample(samples[k], detail, QString());
            }
            fresh.CurTime = grown.CurTime;  // only matters for an empty window
            fresh.RecalcStats(w);
            ASSERT_EQ(grown.AvgTime, fresh.AvgTime) << n;
            ASSERT_EQ(grown.MinTime, fresh.MinTime) << n;
            ASSERT_EQ(grown.MaxTime, fresh.MaxTime) << n;
            ASSERT_EQ(grown.CurTime, fresh.CurTime) << n;
            ASSERT_EQ(grown.AvgTimeUs, fresh.AvgTimeUs) << n;
            ASSERT_EQ(grown.MinTimeUs, fresh.MinTimeUs) << n;
            ASSERT_EQ(grown.MaxTimeUs, fresh.MaxTimeUs) << n;
            ASSERT_EQ(grown.CurTimeUs, fresh.CurTimeUs) << n;
        }
    }
    // Moving the window back and forth over the same record.
    THostInfo record = recordWith({10, 20, 30, 40}, window(0, 100));
    record.RecalcStats(window(2, 3));
    EXPECT_EQ(record.AvgTime, 35);
    record.RecalcStats(window(0, 1));
    EXPECT_EQ(record.AvgTime, 15);
    EXPECT_EQ(record.CurTime, 20);
    record.RecalcStats(window(0, 3));
    EXPECT_EQ(record.AvgTime, 25);
}

TEST(HostInfo, MicrosecondFiguresRunBesideTheMilliseconds) {
    THostInfo record(1);
    const auto add = [&](qint32 ms, qint32 us, const SampleWindow& w) {
        SampleDetail detail;
        detail.roundTripUs = us;
        record.AddSample(ms, w, detail, QStringLiteral("10.0.0.1"));
    };
    const SampleWindow all{0, 100};
    add(10, 10400, all);
    add(11, 11300, all);
    EXPECT_EQ(record.AvgTime, 10);
    EXPECT_DOUBLE_EQ(record.AvgTimeUs, 10850.0);
    EXPECT_EQ(record.MinTimeUs, 10400);
    EXPECT_EQ(record.MaxTimeUs, 11300);
    EXPECT_EQ(record.CurTimeUs, 11300);
    // A lost sample is current but enters nothing; a valid one without microseconds counts
    // its milliseconds.
    add(LOST_SAMPLE, 5, all);
    EXPECT_EQ(record.CurTimeUs, -1);
    EXPECT_EQ(record.Samples.back().us, -1);
    add(12, -1, all);
    EXPECT_EQ(record.CurTimeUs, 12000);
    EXPECT_DOUBLE_EQ(record.AvgTimeUs, (10400 + 11300 + 12000) / 3.0);
    // The window moved past every valid sample but the last; then emptied.
    record.RecalcStats({2, 3});
    EXPECT_DOUBLE_EQ(record.AvgTimeUs, 12000.0);
    EXPECT_EQ(record.MinTimeUs, 12000);
    record.RecalcStats({0, -1});
    EXPECT_EQ(record.AvgTimeUs, 0.0);
    EXPECT_EQ(record.MaxTimeUs, 0);
    EXPECT_EQ(record.CurTimeUs, 12000);
    // The plain form keeps its milliseconds as microseconds.
    record.AddSample(7, all);
    EXPECT_EQ(record.Samples.back().us, 7000);
}

TEST(HopTable, ScaleIsLargestMaximumButAtLeastOne) {
    HopTable table;
    EXPECT_EQ(table.RecalcScale(), 1);
    table.append();
    table.append();
    EXPECT_EQ(table.RecalcScale(), 1);
    EXPECT_EQ(table.at(1).Hop, 2);
    const SampleWindow all{0, 100};
    table.at(0).AddSample(40, all);
    table.at(1).AddSample(9999, all);
    table.at(1).AddSample(25, all);
    EXPECT_EQ(table.RecalcScale(), 40);
    EXPECT_EQ(table.RecalcAll(SampleWindow{1, 1}), 25);
    table.removeLast();
    EXPECT_EQ(table.count(), 1);
    table.clear();
    EXPECT_TRUE(table.isEmpty());
}

}  // namespace
}  // namespace hoplark
