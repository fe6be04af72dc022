#include "trace/HostInfo.h"

#include <algorithm>

namespace hoplark {

qint32 OverdueAfterMs(qint32 largestAnswerUs, qint32 timeoutMs) {
    const qint64 fourTimes = qint64(largestAnswerUs) * 4 / 1000;
    const qint64 atLeast = std::max<qint64>(fourTimes, 1000);
    return static_cast<qint32>(std::min<qint64>(atLeast, std::max(timeoutMs, 1)));
}

void THostInfo::AddSample(qint32 value, const SampleWindow& window) {
    SampleDetail detail;
    if (value >= 0 && value < LOST_SAMPLE) detail.roundTripUs = value * 1000;
    AddSample(value, window, detail, QString());
}

void THostInfo::AddSample(qint32 value, const SampleWindow& window, const SampleDetail& detail,
                          const QString& responder) {
    StoreSample(value, detail, responder);
    RecalcStats(window);
}

HopSample& THostInfo::positionFor(qint32 round) {
    if (round < 1) {
        // Without a round, the oldest probe still out takes it; with none out, a new position.
        const size_t waiting = FirstUnsettled();
        if (waiting < Samples.size()) return Samples[waiting];
        Samples.emplace_back();
        return Samples.back();
    }
    PadTo(round);
    const auto position = static_cast<size_t>(round - 1);
    // A position the totals already hold changes: they are taken afresh.
    if (qint64(position) < cacheEnd_) cacheFirst_ = -1;
    unsettledFrom_ = std::min(unsettledFrom_, position);
    return Samples[position];
}

void THostInfo::StoreSample(qint32 value, const SampleDetail& detail, const QString& responder) {
    const bool lost = value == LOST_SAMPLE;
    HopSample& sample = positionFor(detail.round);
    // A round holds one probe of the hop; should a second result come, the last one counts.
    if (sample.state == SampleState::Lost) --LostCount;
    if (sample.state == SampleState::Answered) --answered_;

    sample.ms = value;
    sample.state = lost ? SampleState::Lost : SampleState::Answered;
    sample.us = lost ? -1 : detail.roundTripUs;
    sample.clock = detail.clock;
    sample.responder = NoResponder;
    if (lost) {
        ++LostCount;
        noteChange(static_cast<size_t>(&sample - Samples.data()));
        return;
    }
    ++answered_;
    if (sample.valid())
        LargestAnswerUs = std::max(LargestAnswerUs, sample.us >= 0 ? sample.us : value * 1000);
    if (responder.isEmpty()) return;
    const auto found = std::find(Responders.begin(), Responders.end(), responder);
    if (found != Responders.end()) {
        sample.responder = static_cast<quint8>(found - Responders.begin());
    } else if (Responders.size() < NoResponder) {
        sample.responder = static_cast<quint8>(Responders.size());
        Responders.push_back(responder);
    }
    noteChange(static_cast<size_t>(&sample - Samples.data()));
}

void THostInfo::noteChange(size_t position) {
    const HopSample& sample = Samples[position];
    const quint64 change = (quint64(position) << 24) ^ (quint64(sample.state) << 16) ^
                           (quint64(sample.responder) << 8) ^ (quint64(quint32(sample.ms)) << 32) ^
                           quint64(quint32(sample.us)) * 0x9E3779B97F4A7C15ull;
    Revision = (Revision ^ change) * 0x100000001B3ull + 1;
}

void THostInfo::PadTo(qint32 rounds) {
    if (rounds > 0 && Samples.size() < static_cast<size_t>(rounds))
        Samples.resize(static_cast<size_t>(rounds));
}

void THostInfo::MarkPending(qint32 round) {
    if (round < 1) return;
    PadTo(round);
    HopSample& sample = Samples[static_cast<size_t>(round - 1)];
    if (sample.state != SampleState::NotProbed) return;
    if (qint64(round - 1) < cacheEnd_) cacheFirst_ = -1;
    sample.state = SampleState::Pending;
    noteChange(static_cast<size_t>(round - 1));
    unsettledFrom_ = std::min(unsettledFrom_, static_cast<size_t>(round - 1));
}

bool THostInfo::MarkOverdue(size_t position) {
    if (position >= Samples.size() || Samples[position].state != SampleState::Pending) return false;
    Samples[position].state = SampleState::Overdue;
    noteChange(position);
    return true;
}

size_t THostInfo::FirstUnsettled() const {
    while (unsettledFrom_ < Samples.size() && Samples[unsettledFrom_].settled())
        ++unsettledFrom_;
    return unsettledFrom_;
}

void THostInfo::accumulate(Totals& totals, qint64 from, qint64 to) const {
    for (qint64 p = from; p < to; ++p) {
        const auto position = static_cast<size_t>(p);
        const HopSample& sample = Samples[position];
        if (sample.counted()) totals.current = p;
        if (!sample.valid()) continue;
        const qint32 v = sample.ms;
        ++totals.count;
        totals.sum += v;
        totals.max = std::max(totals.max, v);
        totals.min = std::min(totals.min, v);
        const qint32 us = sample.us >= 0 ? sample.us : v * 1000;
        totals.sumUs += us;
        totals.maxUs = std::max(totals.maxUs, us);
        totals.minUs = std::min(totals.minUs, us);
    }
}

void THostInfo::RecalcStats(const SampleWindow& window) {
    const qint64 size = static_cast<qint64>(Samples.size());
    const qint64 first = std::max<qint64>(window.FirstSample, 0);
    // Positions at or past the end of the list are skipped, so the window ends at `end`.
    const qint64 end = std::min<qint64>(qint64(window.LastSample) + 1, size);

    Totals totals;
    if (end > first) {
        if (cacheFirst_ != first || cacheEnd_ < first || cacheEnd_ > end) {
            totals_ = Totals{};
            cacheFirst_ = first;
            cacheEnd_ = first;
        }
        // The cache grows over positions that can no longer change; the rest is taken afresh.
        qint64 settledEnd = cacheEnd_;
        while (settledEnd < end && Samples[static_cast<size_t>(settledEnd)].settled())
            ++settledEnd;
        accumulate(totals_, cacheEnd_, settledEnd);
        cacheEnd_ = settledEnd;
        totals = totals_;
        accumulate(totals, settledEnd, end);
    } else {
        cacheFirst_ = -1;
    }

    if (totals.current >= 0) {
        const auto current = static_cast<size_t>(totals.current);
        CurTime = static_cast<qint16>(Samples[current].shownMs());
        CurTimeUs = SampleUs(current);
    }
    // Otherwise CurTime keeps its value: no sample of the window is in.
    WindowAnswers = static_cast<qint32>(totals.count);
    if (totals.count > 0) {
        MaxTime = static_cast<qint16>(totals.max);
        MinTime = static_cast<qint16>(totals.min);
        AvgTime = static_cast<qint16>(totals.sum / totals.count);
        MaxTimeUs = totals.maxUs;
        MinTimeUs = totals.minUs;
        AvgTimeUs = static_cast<double>(totals.sumUs) / static_cast<double>(totals.count);
    } else {
        MaxTime = MinTime = AvgTime = 0;
        MaxTimeUs = MinTimeUs = 0;
        AvgTimeUs = 0;
    }
}

THostInfo& HopTable::append() {
    records_.emplace_back(count() + 1);
    return records_.back();
}

qint32 HopTable::RecalcScale() const {
    qint32 scale = 1;
    for (const THostInfo& record : records_)
        scale = std::max<qint32>(scale, record.MaxTime);
    return scale;
}

qint32 HopTable::RecalcAll(const SampleWindow& window) {
    qint32 scale = 1;
    for (THostInfo& record : records_) {
        record.RecalcStats(window);
        scale = std::max<qint32>(scale, record.MaxTime);
    }
    return scale;
}

}  // namespace hoplark
