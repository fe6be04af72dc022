#include "view/StatisticsColumns.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

#include "view/GridEvidence.h"

namespace hoplark {

const StatisticsColumns& AllStatisticsColumns() {
    static const StatisticsColumns all{StatisticsColumn::Loss,  StatisticsColumn::Sent,
                                       StatisticsColumn::Last,  StatisticsColumn::Average,
                                       StatisticsColumn::Best,  StatisticsColumn::Worst,
                                       StatisticsColumn::StDev, StatisticsColumn::Jitter};
    return all;
}

StatisticsColumns LikeMtrColumns() {
    return {StatisticsColumn::Loss,    StatisticsColumn::Sent, StatisticsColumn::Last,
            StatisticsColumn::Average, StatisticsColumn::Best, StatisticsColumn::Worst,
            StatisticsColumn::StDev};
}

QString StatisticsColumnTitle(StatisticsColumn column) {
    switch (column) {
        case StatisticsColumn::Loss:
            return QStringLiteral("Loss%");
        case StatisticsColumn::Sent:
            return QStringLiteral("Snt");
        case StatisticsColumn::Last:
            return QStringLiteral("Last");
        case StatisticsColumn::Average:
            return QStringLiteral("Avg");
        case StatisticsColumn::Best:
            return QStringLiteral("Best");
        case StatisticsColumn::Worst:
            return QStringLiteral("Wrst");
        case StatisticsColumn::StDev:
            return QStringLiteral("StDev");
        case StatisticsColumn::Jitter:
            break;
    }
    return QStringLiteral("Jttr");
}

QString StatisticsColumnsText(const StatisticsColumns& columns) {
    QStringList names;
    for (StatisticsColumn column : columns)
        names << StatisticsColumnTitle(column);
    return names.join(u',');
}

StatisticsColumns ParseStatisticsColumns(const QString& text) {
    const QStringList names = text.split(u',', Qt::SkipEmptyParts);
    StatisticsColumns columns;
    for (StatisticsColumn column : AllStatisticsColumns()) {
        const bool named = std::any_of(names.begin(), names.end(), [column](const QString& name) {
            return name.trimmed().compare(StatisticsColumnTitle(column), Qt::CaseInsensitive) == 0;
        });
        if (named) columns.push_back(column);
    }
    return columns;
}

bool IsLatencyColumn(StatisticsColumn column) {
    return column == StatisticsColumn::Last || column == StatisticsColumn::Average ||
           column == StatisticsColumn::Best || column == StatisticsColumn::Worst;
}

std::optional<double> StatisticsTimeUs(StatisticsColumn column, const WindowStatistics& stats) {
    switch (column) {
        case StatisticsColumn::Last:
            return stats.lastUs;
        case StatisticsColumn::Average:
            return stats.meanUs;
        case StatisticsColumn::Best:
            return stats.minUs;
        case StatisticsColumn::Worst:
            return stats.maxUs;
        case StatisticsColumn::StDev:
            return stats.stdevUs;
        case StatisticsColumn::Jitter:
            return stats.jitterUs;
        case StatisticsColumn::Loss:
        case StatisticsColumn::Sent:
            break;
    }
    return std::nullopt;
}

QString StatisticsFigureText(StatisticsColumn column, const WindowStatistics& stats,
                             bool showFractions) {
    if (column == StatisticsColumn::Loss)
        return stats.lossPercent ? PercentText(*stats.lossPercent) : QString();
    if (column == StatisticsColumn::Sent)
        return stats.sent > 0 ? QString::number(stats.sent) : QString();
    const std::optional<double> us = StatisticsTimeUs(column, stats);
    if (!us) return QString();
    if (showFractions) return QString::number(*us / 1000.0, 'f', 2);
    return QString::number(static_cast<qint64>(std::floor(*us / 1000.0)));
}

int StatisticsColumnWidth(StatisticsColumn column, int fractionWidth) {
    switch (column) {
        case StatisticsColumn::Loss:
            return 46;
        case StatisticsColumn::Sent:
            return 36;
        default:
            break;
    }
    return 40 + fractionWidth;
}

}  // namespace hoplark
