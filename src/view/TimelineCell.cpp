#include "view/TimelineCell.h"

#include <algorithm>

namespace hoplark {

namespace {

QString milliseconds(double us, bool fractions) {
    return fractions ? QStringLiteral("%1 ms").arg(us / 1000.0, 0, 'f', 2)
                     : QStringLiteral("%1 ms").arg(qint64(us / 1000.0));
}

}  // namespace

TimelineCell TimelineCell::over(const THostInfo& record, qint64 firstRound, qint64 lastRound) {
    TimelineCell cell;
    const qint64 size = static_cast<qint64>(record.Samples.size());
    const qint64 from = std::max<qint64>(firstRound - 1, 0);
    const qint64 to = std::min(lastRound, size);
    for (qint64 p = from; p < to; ++p) {
        const HopSample& sample = record.Samples[static_cast<size_t>(p)];
        if (sample.lost()) {
            ++cell.lost;
        } else if (sample.valid()) {
            const qint32 us = record.SampleUs(static_cast<size_t>(p));
            ++cell.answered;
            cell.sumUs += us;
            cell.worstUs = std::max(cell.worstUs, us);
        } else if (sample.state == SampleState::Pending) {
            ++cell.pending;
        }
    }
    return cell;
}

QString TimelineCell::text(const DisplayOptions& options, qint64 rounds) const {
    const bool fractions = options.ShowFractions;
    if (rounds <= 1) {
        if (answered) return milliseconds(sumUs, fractions);
        if (lost) return QStringLiteral("lost");
        if (pending) return QStringLiteral("pending");
        return QStringLiteral("not probed");
    }
    if (blank()) return pending ? QStringLiteral("pending") : QStringLiteral("not probed");
    QString text;
    if (answered) {
        text = QStringLiteral("worst %1, mean %2")
                   .arg(milliseconds(worstUs, fractions), milliseconds(meanUs(), fractions));
    }
    if (lost) {
        if (!text.isEmpty()) text += QStringLiteral(", ");
        text += QStringLiteral("%1 of %2 lost").arg(lost).arg(counted());
    }
    return text;
}

}  // namespace hoplark
