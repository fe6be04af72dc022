#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "trace/WindowStatistics.h"

namespace hoplark {

// The figures of the statistics window the grid can show in columns of their own, in the order
// the columns stand.
enum class StatisticsColumn { Loss, Sent, Last, Average, Best, Worst, StDev, Jitter };

// Shown columns, each at most once, in the order of the enumeration.
using StatisticsColumns = std::vector<StatisticsColumn>;

const StatisticsColumns& AllStatisticsColumns();
// The columns an mtr user reads first.
StatisticsColumns LikeMtrColumns();

// The header's title and the settings' name: "Loss%", "Snt", "Last", "Avg", "Best", "Wrst",
// "StDev", "Jttr".
QString StatisticsColumnTitle(StatisticsColumn column);
// "Loss%,Snt,Last" and back; unknown names are left out, so an edited file never fails.
QString StatisticsColumnsText(const StatisticsColumns& columns);
StatisticsColumns ParseStatisticsColumns(const QString& text);

// Latencies, coloured by the warning and critical thresholds (a deviation is not a latency).
bool IsLatencyColumn(StatisticsColumn column);
// The time a column shows, in microseconds; absent for the counts and for a missing figure.
std::optional<double> StatisticsTimeUs(StatisticsColumn column, const WindowStatistics& stats);
// The figure as the grid shows it: whole milliseconds (cut as the Avg Time column cuts them) or
// to 0.01 ms; empty when the window holds nothing to show, never a made-up 0.
QString StatisticsFigureText(StatisticsColumn column, const WindowStatistics& stats,
                             bool showFractions);
// A column's width; times widen by `fractionWidth`, the width of ".99" in the grid's font.
int StatisticsColumnWidth(StatisticsColumn column, int fractionWidth);

}  // namespace hoplark
