#include "view/TraceText.h"

#include "trace/HopMerge.h"
#include "trace/UnreachableReason.h"

namespace hoplark {

namespace {

const QLatin1String LineEnd("\r\n");

QString sampleField(const THostInfo& record, qint32 position, bool showFractions) {
    const bool inList = position >= 0 && static_cast<size_t>(position) < record.Samples.size();
    // Only an answer has a time; a lost, overdue, pending or unprobed round shows a star.
    if (inList && record.Samples[static_cast<size_t>(position)].state == SampleState::Answered) {
        const auto p = static_cast<size_t>(position);
        const qint32 value = record.Samples[p].ms;
        if (value < LOST_SAMPLE && !showFractions) return QString::asprintf("%4d ms ", value);
        if (value < LOST_SAMPLE) {
            const qint32 us = record.SampleUs(p);
            // A value the statistics never take has no microseconds of its own.
            const double ms = us >= 0 ? us / 1000.0 : static_cast<double>(value);
            return QString::asprintf("%7.2f ms ", ms);
        }
    }
    return showFractions ? QStringLiteral("  *        ") : QStringLiteral("  *     ");
}

QString statisticsFields(const HopEvidence* hop, const StatisticsColumns& statistics,
                         bool showFractions) {
    QString text;
    for (StatisticsColumn column : statistics) {
        QString figure =
            hop != nullptr ? StatisticsFigureText(column, hop->stats, showFractions) : QString();
        if (figure.isEmpty()) {
            figure = QStringLiteral("-");
        } else if (StatisticsTimeUs(column, hop->stats)) {
            figure += QStringLiteral(" ms");
        }
        text += QStringLiteral("  ") + StatisticsColumnTitle(column) + QLatin1Char(' ') + figure;
    }
    return text;
}

}  // namespace

QString BuildTraceText(const TraceState& state, const QString& hostNameCaption,
                       const QString& targetAddressCaption, bool showFractions,
                       const StatisticsColumns& statistics, const PathEvidence* evidence,
                       bool unreachableReason) {
    QString text = QStringLiteral("Target Name: ") + hostNameCaption + LineEnd;
    text += QStringLiteral("         IP: ") + targetAddressCaption + LineEnd;
    text += LineEnd;
    // The rows the grid shows; the records past them never answered.
    const int shown = HopMerge::ShownHopCount(state.HopList);
    int index = 0;
    for (const THostInfo& record : state.HopList) {
        if (index >= shown) break;
        text += QString::asprintf("%2d ", index + 1);
        for (qint32 p = state.Window.FirstSample; p <= state.Window.LastSample; ++p) {
            text += sampleField(record, p, showFractions);
        }
        if (record.DNSName != NO_NAME) text += QLatin1Char(' ') + record.DNSName;
        text += QStringLiteral(" [") + record.IP + QLatin1Char(']');
        if (!statistics.empty()) {
            const HopEvidence* hop =
                evidence != nullptr && !record.Unreachable ? evidence->hop(index) : nullptr;
            text += statisticsFields(hop, statistics, showFractions);
        }
        text += LineEnd;
        ++index;
    }
    if (!state.UnreachableFrom.isEmpty() && unreachableReason) {
        text += QStringLiteral("Destination unreachable: ") +
                UnreachableReasonText(state.UnreachableFrom, state.UnreachableCode) + LineEnd;
    } else if (!state.UnreachableFrom.isEmpty()) {
        text += QStringLiteral("Destination unreachable, reported by ") + state.UnreachableFrom +
                LineEnd;
    }

    return text;
}

}  // namespace hoplark
