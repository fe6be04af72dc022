#include "view/GridEvidence.h"

#include <QStringList>
#include <cmath>

namespace hoplark {

const QColor GridEvidence::MutedColor(128, 128, 128);

QString PercentText(double percent) {
    double shown = std::round(percent * 10.0) / 10.0;
    // Some loss never reads as none, and not all as all.
    if (percent > 0 && shown == 0) shown = 0.1;
    if (percent < 100 && shown == 100) shown = 99.9;
    if (shown == std::floor(shown)) return QStringLiteral("%1 %").arg(qint64(shown));
    return QStringLiteral("%1 %").arg(shown, 0, 'f', 1);
}

GridEvidence::GridEvidence(std::function<const TraceState&()> state) : state_(std::move(state)) {}

const PathEvidence& GridEvidence::evidence() const {
    evidence_.refresh(state_());
    return evidence_;
}

std::pair<const THostInfo*, const HopEvidence*> GridEvidence::hopAt(int row) const {
    const HopEvidence* hop = evidence().hop(row - 1);
    if (hop == nullptr) return {nullptr, nullptr};
    const THostInfo& record = state_().HopList.at(row - 1);
    if (record.Unreachable) return {nullptr, nullptr};
    return {&record, hop};
}

const WindowStatistics* GridEvidence::statistics(int row) const {
    const auto [record, hop] = hopAt(row);
    return hop != nullptr ? &hop->stats : nullptr;
}

bool GridEvidence::rateLimited(int row) const {
    const auto [record, hop] = hopAt(row);
    return hop != nullptr && hop->verdict == LossVerdict::RateLimited;
}

QString GridEvidence::ipText(int row) const {
    const auto [record, hop] = hopAt(row);
    if (record == nullptr) return QString();
    if (hop->responders.empty()) return record->IP;
    const QString& main = hop->responders.front().address;
    const size_t others = hop->responders.size() - 1;
    return others == 0 ? main : QStringLiteral("%1 +%2").arg(main).arg(others);
}

QString GridEvidence::errToolTip(int row) const {
    const auto [record, hop] = hopAt(row);
    if (hop == nullptr || hop->loss.lost == 0) return QString();
    const LossCounts& loss = hop->loss;
    const QString counted = QStringLiteral("%1 of %2 samples in the statistics were lost.")
                                .arg(loss.lost)
                                .arg(loss.samples);
    switch (hop->verdict) {
        case LossVerdict::RateLimited:
            return QStringLiteral(
                       "%1 of %2 lost answers came in rounds where later hops answered: this "
                       "router limits its ICMP answers; traffic through it was not lost.\n%3")
                .arg(loss.notForwarded)
                .arg(loss.lost)
                .arg(counted);
        case LossVerdict::Loss: {
            if (!loss.hasLaterHops) {
                return QStringLiteral(
                           "%1\nNothing beyond this hop was probed, so the loss is "
                           "the path's: probes or their answers were lost.")
                    .arg(counted);
            }
            const double ownShare = double(loss.lost) / loss.samples;
            if (loss.downstreamLossShare >= CarriesOnFraction * ownShare) {
                return QStringLiteral(
                           "%1\nThe hops beyond lose about as much (%2 or more), so this is "
                           "real loss on the path, not a router limiting its answers.")
                    .arg(counted)
                    .arg(PercentText(100.0 * loss.downstreamLossShare));
            }
            return QStringLiteral(
                       "%1\nIn %2 of those rounds nothing beyond answered either: the probes "
                       "were lost on the path.")
                .arg(counted)
                .arg(loss.pathLoss);
        }
        case LossVerdict::None:
            break;
    }
    return counted;
}

QString GridEvidence::ipToolTip(int row) const {
    const auto [record, hop] = hopAt(row);
    if (hop == nullptr || hop->responders.empty()) return QString();
    QStringList lines;
    if (hop->responders.size() > 1) {
        lines << QStringLiteral(
                     "%1 addresses answered for this hop: the path changes between "
                     "rounds.")
                     .arg(hop->responders.size());
    }
    for (const ResponderShare& share : hop->responders) {
        lines << QStringLiteral("%1: %2 of %3 answers (%4)")
                     .arg(share.address)
                     .arg(share.answers)
                     .arg(hop->answers)
                     .arg(PercentText(100.0 * share.answers / hop->answers));
    }
    return lines.join(u'\n');
}

QString GridEvidence::destinationLossText() const {
    const std::optional<double> loss = evidence().destinationLossPercent();
    if (!loss) return QString();
    return QStringLiteral("Loss to destination: %1").arg(PercentText(*loss));
}

}  // namespace hoplark
