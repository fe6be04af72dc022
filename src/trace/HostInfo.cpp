#include "trace/HostInfo.h"

#include <algorithm>

namespace hoplark {

void THostInfo::AddSample(qint32 value, const SampleWindow& window) {
    // Without a probe's detail the sample's microseconds are its milliseconds, so that the
    // parallel lists stay as long as Samples.
    SampleDetail detail;
    if (value >= 0 && value < LOST_SAMPLE) detail.roundTripUs = value * 1000;
    AddSample(value, window, detail, QString());
}

void THostInfo::AddSample(qint32 value, const SampleWindow& window, const SampleDetail& detail,
                          const QString& responder) {
    AppendSample(value, detail, responder);
    RecalcStats(window);
}

void THostInfo::AppendSample(qint32 value, const SampleDetail& detail, const QString& responder) {
    const bool lost = value == LOST_SAMPLE;
    SamplesUs.push_back(lost ? -1 : detail.roundTripUs);
    SampleRounds.push_back(detail.round);
    SampleClocks.push_back(detail.clock);
    quint8 index = NoResponder;
    if (!lost && !responder.isEmpty()) {
        const auto found = std::find(Responders.begin(), Responders.end(), responder);
        if (found != Responders.end()) {
            index = static_cast<quint8>(found - Responders.begin());
        } else if (Responders.size() < NoResponder) {
            index = static_cast<quint8>(Responders.size());
            Responders.push_back(responder);
        }
    }
    SampleResponders.push_back(index);
    Samples.push_back(value);
    if (lost) ++LostCount;
}

void THostInfo::ReserveSamples(size_t samples) {
    const size_t total = Samples.size() + samples;
    Samples.reserve(total);
    SamplesUs.reserve(total);
    SampleRounds.reserve(total);
    SampleClocks.reserve(total);
    SampleResponders.reserve(total);
}

void THostInfo::accumulate(qint64 from, qint64 to) {
    // Records merged with their detail keep microseconds for every sample; only hand-filled
    // ones fall back sample by sample.
    const bool allKept = static_cast<qint64>(SamplesUs.size()) >= to;
    for (qint64 p = from; p < to; ++p) {
        const auto position = static_cast<size_t>(p);
        const qint32 v = Samples[position];
        if (v >= 0 && v < LOST_SAMPLE) {
            ++totals_.count;
            totals_.sum += v;
            totals_.max = std::max(totals_.max, v);
            totals_.min = std::min(totals_.min, v);
            const qint32 kept = allKept ? SamplesUs[position] : -1;
            const qint32 us = kept >= 0 ? kept : SampleUs(position);
            totals_.sumUs += us;
            totals_.maxUs = std::max(totals_.maxUs, us);
            totals_.minUs = std::min(totals_.minUs, us);
        }
    }
}

void THostInfo::RecalcStats(const SampleWindow& window) {
    const qint64 size = static_cast<qint64>(Samples.size());
    const qint64 first = std::max<qint64>(window.FirstSample, 0);
    // Positions at or past the end of the list are skipped, so the window ends at `end`.
    const qint64 end = std::min<qint64>(qint64(window.LastSample) + 1, size);

    if (end <= first) {
        cacheFirst_ = -1;
        MaxTime = MinTime = AvgTime = 0;
        MaxTimeUs = MinTimeUs = 0;
        AvgTimeUs = 0;
        return;  // CurTime keeps its value: no position of the window exists.
    }

    if (cacheFirst_ == first && cacheEnd_ >= first && cacheEnd_ <= end) {
        accumulate(cacheEnd_, end);
    } else {
        totals_ = Totals{};
        accumulate(first, end);
    }
    cacheFirst_ = first;
    cacheEnd_ = end;

    CurTime = static_cast<qint16>(Samples[static_cast<size_t>(end - 1)]);
    CurTimeUs = SampleUs(static_cast<size_t>(end - 1));
    if (totals_.count > 0) {
        MaxTime = static_cast<qint16>(totals_.max);
        MinTime = static_cast<qint16>(totals_.min);
        AvgTime = static_cast<qint16>(totals_.sum / totals_.count);
        MaxTimeUs = totals_.maxUs;
        MinTimeUs = totals_.minUs;
        AvgTimeUs = static_cast<double>(totals_.sumUs) / static_cast<double>(totals_.count);
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
