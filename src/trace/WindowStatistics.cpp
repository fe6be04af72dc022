#include "trace/WindowStatistics.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hoplark {

double InterpolatedPercentile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0;
    const double rank = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<size_t>(std::floor(rank));
    const size_t above = std::min(below + 1, sorted.size() - 1);
    const double fraction = rank - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * fraction;
}

const char* SampleClockName(SampleClock clock) {
    switch (clock) {
        case SampleClock::Kernel:
            return "kernel";
        case SampleClock::KernelReceive:
            return "kernel-rx";
        case SampleClock::Monotonic:
            break;
    }
    return "monotonic";
}

WindowStatistics ComputeWindowStatistics(const THostInfo& record, const SampleWindow& window) {
    WindowStatistics stats;
    const qint64 size = static_cast<qint64>(record.Samples.size());
    const qint64 first = std::max<qint64>(window.FirstSample, 0);
    const qint64 end = std::min<qint64>(qint64(window.LastSample) + 1, size);

    // Positions are rounds, so the valid samples come in the order they were sent.
    struct TimedSample {
        double us;
        SampleClock clock;
    };
    std::vector<TimedSample> timed;
    for (qint64 p = first; p < end; ++p) {
        const auto position = static_cast<size_t>(p);
        const HopSample& sample = record.Samples[position];
        if (sample.state == SampleState::Pending) ++stats.pending;
        if (!sample.counted()) continue;
        ++stats.sent;
        stats.current = p;
        if (sample.lost()) {
            ++stats.lost;
            continue;
        }
        ++stats.received;
        const qint32 us = record.SampleUs(position);
        if (us < 0) continue;
        timed.push_back({static_cast<double>(us), sample.clock});
    }
    if (stats.sent > 0) stats.lossPercent = 100.0 * stats.lost / stats.sent;
    stats.valid = static_cast<qint32>(timed.size());
    if (timed.empty()) return stats;

    // Welford: the spread term uses the distance to the mean before and after the update.
    double mean = 0;
    double m2 = 0;
    double jitterSum = 0;
    double rfc3550 = 0;
    std::array<qint32, 3> clockCounts{};
    std::vector<double> values;
    values.reserve(timed.size());
    for (size_t i = 0; i < timed.size(); ++i) {
        const double x = timed[i].us;
        const double delta = x - mean;
        mean += delta / static_cast<double>(i + 1);
        m2 += delta * (x - mean);
        if (i > 0) {
            const double difference = std::fabs(x - timed[i - 1].us);
            jitterSum += difference;
            rfc3550 += (difference - rfc3550) / 16.0;
        }
        ++clockCounts[static_cast<size_t>(timed[i].clock)];
        values.push_back(x);
    }
    const double n = static_cast<double>(timed.size());
    stats.meanUs = mean;
    stats.lastUs = timed.back().us;
    stats.stdevUs = timed.size() > 1 ? std::sqrt(m2 / (n - 1)) : 0.0;
    stats.jitterUs = timed.size() > 1 ? jitterSum / (n - 1) : 0.0;
    stats.rfc3550JitterUs = rfc3550;

    std::sort(values.begin(), values.end());
    stats.minUs = values.front();
    stats.maxUs = values.back();
    stats.medianUs = InterpolatedPercentile(values, 0.5);
    stats.p95Us = InterpolatedPercentile(values, 0.95);

    const qint32 most = *std::max_element(clockCounts.begin(), clockCounts.end());
    for (auto it = timed.rbegin(); it != timed.rend(); ++it) {
        if (clockCounts[static_cast<size_t>(it->clock)] == most) {
            stats.clock = it->clock;
            break;
        }
    }
    return stats;
}

}  // namespace hoplark
