#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace hoplark {

// Upper bounds, in seconds, of the round-trip histogram's buckets: from a tenth of a
// millisecond on a local link to the ten seconds of the longest probe time-out, about three per
// decade, so any path's latency falls between a handful of bounds.
inline constexpr std::array<double, 16> RttBucketBoundsSeconds = {
    0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
    0.05,   0.1,     0.25,   0.5,   1.0,    2.5,   5.0,  10.0};

// Every answer of one hop over the whole run, counted into the buckets above.
struct RttHistogram {
    // Answers at or below each bound (not cumulative: one count per bucket; the last counts
    // what lies beyond the largest bound).
    std::array<quint64, RttBucketBoundsSeconds.size() + 1> buckets{};
    double sumSeconds = 0;
    quint64 count = 0;

    void observe(double seconds);
};

// What one hop of a served trace says: counters over the whole run, the rest over the
// statistics window.
struct HopMetrics {
    qint32 hop = 0;
    // The address that answered the hop most often in the window; empty when none answered.
    QString responder;
    quint64 probesSent = 0;
    quint64 probesLost = 0;
    RttHistogram rtt;
    std::optional<double> rttAverageSeconds;
    std::optional<double> rttStddevSeconds;
    std::optional<double> lossRatio;
    bool rateLimited = false;
};

// One served trace at the end of a round.
struct TargetMetrics {
    QString target;
    // The address probed; empty while the target is not resolved.
    QString address;
    std::optional<double> destinationLossRatio;
    qint32 pathHops = 0;
    quint64 roundsTotal = 0;
    quint64 pathChangesTotal = 0;
    std::vector<HopMetrics> hops;
};

}  // namespace hoplark
