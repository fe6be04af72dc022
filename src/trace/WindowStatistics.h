#pragma once

#include <optional>

#include "trace/HostInfo.h"

namespace hoplark {

// Everything the report and the exports say about one hop over one statistics window, in
// microseconds. Computed on demand: the grid needs only the record's running mean.
//
// Position p of the window is round p + 1. A round whose probe of the hop is still pending, or
// that did not probe the hop, is not counted at all. Of the rest, every one was sent; those
// answered were received; lost and overdue probes are lost; the valid answers
// (0 <= ms < 9999) enter the figures below, each in its kept microseconds.
struct WindowStatistics {
    qint32 sent = 0;
    qint32 received = 0;
    qint32 lost = 0;
    qint32 valid = 0;
    // Probes of the window still within their time: neither answer nor loss yet.
    qint32 pending = 0;
    // The position of the window's last sample that is in or overdue; -1 for none.
    qint64 current = -1;

    // Lost out of sent, in percent; absent when nothing in the window was sent.
    std::optional<double> lossPercent;

    // Absent when the window holds no valid sample.
    std::optional<double> meanUs;
    std::optional<double> minUs;
    std::optional<double> maxUs;
    // The round trip of the window's latest valid sample.
    std::optional<double> lastUs;
    // Sample standard deviation (n - 1); 0 for a single sample.
    std::optional<double> stdevUs;
    // Mean absolute difference of consecutive valid samples in the order they were sent; 0 for
    // a single sample.
    std::optional<double> jitterUs;
    // RFC 3550 interarrival jitter: J += (|D| - J) / 16 over the same consecutive pairs, D being
    // the difference of their round trips, starting from 0.
    std::optional<double> rfc3550JitterUs;
    // Percentiles by linear interpolation between the closest ranks (the median of an even
    // count is the mean of the middle two).
    std::optional<double> medianUs;
    std::optional<double> p95Us;

    // How most valid samples were timed (a tie goes to the clock of the latest of them); absent
    // when the window holds no valid sample.
    std::optional<SampleClock> clock;
};

WindowStatistics ComputeWindowStatistics(const THostInfo& record, const SampleWindow& window);

// The percentile q (0..1) of values sorted ascending, interpolated between the closest ranks.
double InterpolatedPercentile(const std::vector<double>& sorted, double q);

// "kernel", "kernel-rx" or "monotonic".
const char* SampleClockName(SampleClock clock);

}  // namespace hoplark
