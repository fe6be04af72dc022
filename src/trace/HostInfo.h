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

// Where one hop's probe of one round stands.
enum class SampleState : quint8 {
    // The hop was not probed in that round (it joined the table later, or the round stopped
    // short of it).
    NotProbed,
    // The probe is out and still within the time its hop answers in: neither answer nor loss.
    Pending,
    // The probe is out far longer than its hop has ever taken to answer: counted as lost in the
    // window's figures until its answer or its time-out comes.
    Overdue,
    // A result was merged that is not the lost value.
    Answered,
    // The lost value was merged: the probe timed out or got no usable answer.
    Lost,
};

// One hop's sample of one round.
struct HopSample {
    // The merged value in milliseconds (LOST_SAMPLE for lost); 0 while no result is merged.
    qint32 ms = 0;
    // The kept round trip in microseconds; -1 when none was kept or nothing was answered.
    qint32 us = -1;
    SampleState state = SampleState::NotProbed;
    SampleClock clock = SampleClock::Monotonic;
    // Index into THostInfo::Responders; NoResponder when nobody answered.
    quint8 responder = NoResponder;

    // Counted as sent in the window's figures: a result is in, or the probe is overdue.
    bool counted() const {
        return state == SampleState::Answered || state == SampleState::Lost ||
               state == SampleState::Overdue;
    }
    // Counted as lost in the window's figures.
    bool lost() const { return state == SampleState::Lost || state == SampleState::Overdue; }
    // Enters the minimum, maximum and mean.
    bool valid() const { return state == SampleState::Answered && ms >= 0 && ms < LOST_SAMPLE; }
    // Can no longer change.
    bool settled() const {
        return state == SampleState::NotProbed || state == SampleState::Answered ||
               state == SampleState::Lost;
    }
    // The value the window's current sample shows: an overdue probe reads as lost.
    qint32 shownMs() const { return state == SampleState::Overdue ? LOST_SAMPLE : ms; }

    bool operator==(const HopSample&) const = default;
};

// A hop whose probe is out this long without an answer is overdue: four times the longest round
// trip it has answered in this trace (an answer slower than that is far outside what the hop
// shows), never less than a second (a fast hop is not called lossy over a scheduler stall),
// never past the probe's own time-out.
qint32 OverdueAfterMs(qint32 largestAnswerUs, qint32 timeoutMs);

// One hop's record: responder, name, one sample per round and the statistics over the window.
// The same type carries a single result or name from a worker to the UI thread.
//
// Sample position p holds the hop's probe of round p + 1, whenever its result was merged, so
// that a window of positions is the same rounds for every hop. A hand-made sample without a
// round takes the next position.
class THostInfo {
public:
    explicit THostInfo(qint32 hop) : Hop(hop) {}

    // Appends a sample (9999 counts as lost) at the next position and recomputes the statistics
    // over `window`; its microseconds are its milliseconds.
    void AddSample(qint32 value, const SampleWindow& window);
    // Stores a sample with its detail and responder at its round's position (when the round is
    // unknown: the oldest probe still out, or else the next position) and recomputes the statistics
    // over `window`. A lost sample (9999) keeps no microseconds whatever `detail` says.
    void AddSample(qint32 value, const SampleWindow& window, const SampleDetail& detail,
                   const QString& responder);
    // The same without recomputing the statistics, for rebuilding a table in bulk; RecalcStats
    // must run before the statistics are read.
    void StoreSample(qint32 value, const SampleDetail& detail, const QString& responder);
    // Makes room for `samples` more positions, for the same bulk rebuild.
    void ReserveSamples(size_t samples) { Samples.reserve(Samples.size() + samples); }

    // The hop's probe of `round` (1-based) is out: its position becomes pending unless a result
    // is already in. Positions before it that hold nothing stay not probed.
    void MarkPending(qint32 round);
    // Grows the list to `rounds` positions, the new ones not probed.
    void PadTo(qint32 rounds);
    // The pending probe at `position` is overdue. Returns whether it was pending.
    bool MarkOverdue(size_t position);
    // The first position that may still change (pending or overdue); the list's size when none.
    size_t FirstUnsettled() const;

    // Recomputes MaxTime, MinTime, AvgTime and CurTime over `window`. Only answered values
    // 0 <= v < 9999 enter the minimum, maximum and mean; the mean drops its fraction. CurTime is
    // the window's last sample that is in or overdue (9999 for lost or overdue). A window
    // without one zeroes the three and leaves CurTime as it was.
    void RecalcStats(const SampleWindow& window);

    // True when at least one merged sample was not lost.
    bool HasReplies() const { return answered_ > 0; }

    // Sample p in microseconds: its kept microseconds, or its milliseconds × 1000 when none were
    // kept; -1 when the sample does not enter the statistics (not in, lost or out of range).
    qint32 SampleUs(size_t p) const {
        const HopSample& sample = Samples[p];
        if (!sample.valid()) return -1;
        return sample.us >= 0 ? sample.us : sample.ms * 1000;
    }

    qint32 Hop;
    QString IP;
    QString DNSName;
    qint16 MaxTime = 0;
    qint16 MinTime = 0;
    qint16 AvgTime = 0;
    qint16 CurTime = 0;
    bool Unreachable = false;
    // Lost samples merged over the whole trace (an overdue probe is not one yet).
    qint32 LostCount = 0;
    // One entry per round, position p for round p + 1.
    std::vector<HopSample> Samples;

    // The same window statistics in microseconds, over the same samples: the mean keeps its
    // fraction, and CurTimeUs is -1 when the current sample is lost or out of range.
    double AvgTimeUs = 0;
    qint32 MinTimeUs = 0;
    qint32 MaxTimeUs = 0;
    qint32 CurTimeUs = 0;
    // Answers of the window that enter the figures above (0: the figures are no measurement).
    qint32 WindowAnswers = 0;
    // The longest round trip answered in this trace, in microseconds (0 before any answer).
    qint32 LargestAnswerUs = 0;

    // Changes with every change to Samples (a running hash of each change), so that a cache of
    // figures knows when to recompute, also against another trace's record.
    quint64 Revision = 0;

    // Every address that answered this hop, in the order first seen.
    std::vector<QString> Responders;

    // In a worker's result record only: the new sample's detail, and the router that reported
    // the destination unreachable (empty when none did).
    SampleDetail Detail;
    QString UnreachableFrom;

private:
    // Figures over a stretch of positions.
    struct Totals {
        qint64 sum = 0;
        qint64 count = 0;
        qint32 max = 0;
        qint32 min = LOST_SAMPLE;
        qint64 sumUs = 0;
        qint32 maxUs = 0;
        qint32 minUs = std::numeric_limits<qint32>::max();
        // The last position holding a sample that is in or overdue; -1 for none.
        qint64 current = -1;
    };
    void accumulate(Totals& totals, qint64 from, qint64 to) const;
    HopSample& positionFor(qint32 round);
    void noteChange(size_t position);

    // Totals over [cacheFirst_, cacheEnd_), positions that can no longer change, so that a
    // window which only grew at its end (every round in "all samples" mode) costs the new
    // samples, not the whole list. The results equal a full recomputation.
    qint64 cacheFirst_ = -1;
    qint64 cacheEnd_ = -1;
    Totals totals_;
    mutable size_t unsettledFrom_ = 0;
    qint32 answered_ = 0;
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
