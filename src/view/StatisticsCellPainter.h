#pragma once

#include <QColor>
#include <QString>
#include <optional>

#include "view/Canvas.h"
#include "view/CellRect.h"
#include "view/DisplayOptions.h"
#include "view/StatisticsColumns.h"

namespace hoplark {

class GridEvidence;

// What the grid's statistics columns show of each hop: the figures of the statistics window as
// the evidence gives them, the thresholds' colours of the latencies, and the row's sentence for
// screen readers. Extra grid column ColCount + i shows the i-th shown statistic.
class StatisticsCellPainter {
public:
    explicit StatisticsCellPainter(const DisplayOptions& options) : options_(options) {}

    void setEvidence(const GridEvidence* evidence) { evidence_ = evidence; }

    // The statistic grid column `col` shows; absent for the fixed columns.
    std::optional<StatisticsColumn> columnOf(int col) const;
    // A hop row's figures, looked up once per row or cell (the evidence checks the whole table
    // for changes); nullptr for rows without a hop.
    const WindowStatistics* statisticsOf(int row) const;
    // A figure; empty without one (no hop, nothing in the window).
    QString text(StatisticsColumn column, const WindowStatistics* stats) const;
    // The colour a cell stands on: a latency above a threshold takes the threshold's colour (as
    // the hop number's cell does), any other cell `window`.
    QColor background(StatisticsColumn column, const WindowStatistics* stats,
                      const QColor& window) const;
    // The loss of a router that only limits its answers is drawn muted, as its Err count is.
    bool muted(StatisticsColumn column, int row) const;
    // ", loss 10 %, sent 10, last 12 ms" for the shown figures of a hop row.
    QString description(int row) const;

    // Paints one hop cell: background, then the figure right-aligned in the font's colour.
    void drawCell(Canvas& canvas, StatisticsColumn column, int row, const WindowStatistics* stats,
                  const CellRect& rect, const QColor& window) const;

private:
    const DisplayOptions& options_;
    const GridEvidence* evidence_ = nullptr;
};

}  // namespace hoplark
