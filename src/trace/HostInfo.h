#pragma once

#include <QString>
#include <cstdint>
#include <limits>
#include <vector>

namespace hoplark {

// The sample value of a probe that got no usable answer.
inline constexpr qint32 LOST_SAMPLE = 9999;

// The name a hop gets when its reverse lookup found none: one space, fourteen hyphens, one space.
inline const QString NO_NAME = QStringLiteral(" -------------- ");

// The name of the row that marks where a path ends without reaching its target.
inline const QString UNREACHABLE_NAME = QStringLiteral("Destination Address Unreachable");

// The statistics window: 0-based sample positions, both inclusive. LastSample < FirstSample is
// empty, as before the first round. Every record of a trace is measured over the same window.
struct SampleWindow {
    qint32 FirstSample = 0;
    qint32 LastSample = -1;
};

// How a sample's round trip was timed: kernel stamps at both ends, a kernel receive stamp with a
// user-space send time, or the monotonic clock alone.
enum class SampleClock : quint8 { Kernel = 0, KernelReceive = 1, Monotonic = 2 };

// What one probe result carries beyond its millisecond sample. A worker fills it in the record
// it posts; the recording keeps all of it, the hop record the parts it shows.
struct SampleDetail {
    // Round trip in microseconds; -1 when the probe got no usable answer.
    qint32 roundTripUs = -1;
    // The 1-based round the probe was launched in (0: unknown, as for a hand-made record).
    qint32 round = 0;
    // Wall-clock send time, microseconds since the Unix epoch (0: unknown).
    qint64 sentUtcUs = 0;
    SampleClock clock = SampleClock::Monotonic;
    // The ICMP type and code of the answer (0/0 for an echo reply or no answer).
    quint8 icmpType = 0;
    quint8 icmpCode = 0;
};

// Index into THostInfo::Responders for a lost sample.
inline constexpr quint8 NoResponder = 0xFF;

// One hop's record: responder, name, every merged sample and the statistics over the window.
// The same type carries a single result or name from a worker to the UI thread.
class THostInfo {
public:
    explicit THostInfo(qint32 hop) : Hop(hop) {}

    // Appends a sample (9999 counts as lost) and recomputes the statistics over `window`. The
    // parallel lists get its milliseconds as microseconds, no round and the monotonic clock.
    void AddSample(qint32 value, const SampleWindow& window);
    // The same, keeping the sample's detail and responder in the parallel lists. A lost sample
    // (9999) keeps -1 microseconds whatever `detail` says.
    void AddSample(qint32 value, const SampleWindow& window, const SampleDetail& detail,
                   const QString& responder);
    // Appends a sample with its detail without recomputing the statistics, for rebuilding a
    // table in bulk; RecalcStats must run before the statistics are read.
    void AppendSample(qint32 value, const SampleDetail& detail, const QString& responder);
    // Makes room for `samples` more samples in every per-sample list, for the same bulk rebuild.
    void ReserveSamples(size_t samples);

    // Recomputes MaxTime, MinTime, AvgTime and CurTime over `window`. Only 0 <= v < 9999 enters
    // the minimum, maximum and mean; the mean drops its fraction. An empty window zeroes the
    // three and leaves CurTime as it was.
    void RecalcStats(const SampleWindow& window);

    // True when at least one merged sample was not lost.
    bool HasReplies() const { return LostCount < static_cast<qint64>(Samples.size()); }

    // Sample p in microseconds: its kept microseconds, or its milliseconds × 1000 when none were
    // kept; -1 when the sample does not enter the statistics (lost or out of range).
    qint32 SampleUs(size_t p) const {
        const qint32 ms = Samples[p];
        if (ms < 0 || ms >= LOST_SAMPLE) return -1;
        if (p < SamplesUs.size() && SamplesUs[p] >= 0) return SamplesUs[p];
        return ms * 1000;
    }

    qint32 Hop;
    QString IP;
    QString DNSName;
    qint16 MaxTime = 0;
    qint16 MinTime = 0;
    qint16 AvgTime = 0;
    qint16 CurTime = 0;
    bool Unreachable = false;
    qint32 LostCount = 0;
    std::vector<qint32> Samples;

    // The same window statistics in microseconds, over the same samples: the mean keeps its
    // fraction, and CurTimeUs is -1 when the current sample is lost or out of range.
    double AvgTimeUs = 0;
    qint32 MinTimeUs = 0;
    qint32 MaxTimeUs = 0;
    qint32 CurTimeUs = 0;

    // Parallel to Samples, one entry per merged sample: the round trip in microseconds (-1 for
    // lost), the round it was launched in, how it was timed, and who answered (an index into
    // Responders, NoResponder for lost). Responders lists every address that answered this
    // hop, in the order first seen.
    std::vector<qint32> SamplesUs;
    std::vector<qint32> SampleRounds;
    std::vector<SampleClock> SampleClocks;
    std::vector<quint8> SampleResponders;
    std::vector<QString> Responders;

    // In a worker's result record only: the new sample's detail.
    SampleDetail Detail;

private:
    // Running totals over [cacheFirst_, cacheEnd_) of Samples, so that a window which only grew
    // at its end (every round in "all samples" mode) costs the new samples, not the whole list.
    // The results are the same as a full recomputation.
    struct Totals {
        qint64 sum = 0;
        qint64 count = 0;
        qint32 max = 0;
        qint32 min = LOST_SAMPLE;
        qint64 sumUs = 0;
        qint32 maxUs = 0;
        qint32 minUs = std::numeric_limits<qint32>::max();
    };
    void accumulate(qint64 from, qint64 to);

    qint64 cacheFirst_ = -1;
    qint64 cacheEnd_ = -1;
    Totals totals_;
};

// The hop table: the record at index k is hop k + 1; at most MaxHops records.
class HopTable {
public:
    static constexpr int MaxHops = 35;

    int count() const { return static_cast<int>(records_.size()); }
    bool isEmpty() const { return records_.empty(); }
    THostInfo& at(int index) { return records_[static_cast<size_t>(index)]; }
    const THostInfo& at(int index) const { return records_[static_cast<size_t>(index)]; }
    THostInfo& last() { return records_.back(); }
    const THostInfo& last() const { return records_.back(); }

    // Appends the record for hop count() + 1.
    THostInfo& append();
    void removeLast() { records_.pop_back(); }
    void clear() { records_.clear(); }

    // The graph scale: max(1, largest MaxTime in the table).
    qint32 RecalcScale() const;

    // Recomputes every record over `window` and returns the new graph scale.
    qint32 RecalcAll(const SampleWindow& window);

    std::vector<THostInfo>::const_iterator begin() const { return records_.begin(); }
    std::vector<THostInfo>::const_iterator end() const { return records_.end(); }

private:
    std::vector<THostInfo> records_;
};

}  // namespace hoplark
