#include "view/StatisticsCellPainter.h"

#include "view/GridEvidence.h"
#include "view/TraceGrid.h"

namespace hoplark {

namespace {

// The legend's and the hop number cell's colours.
const QColor WarningColor(255, 255, 0);
const QColor CriticalColor(255, 0, 0);

// Right-aligned figures keep their digits in line down a column.
constexpr int RightIndent = 4;

// The columns' titles are abbreviations; a screen reader says the words.
QString SpokenName(StatisticsColumn column) {
    switch (column) {
        case StatisticsColumn::Loss:
            return QStringLiteral("loss");
        case StatisticsColumn::Sent:
            return QStringLiteral("sent");
        case StatisticsColumn::Last:
            return QStringLiteral("last");
        case StatisticsColumn::Average:
            return QStringLiteral("window average");
        case StatisticsColumn::Best:
            return QStringLiteral("best");
        case StatisticsColumn::Worst:
            return QStringLiteral("worst");
        case StatisticsColumn::StDev:
            return QStringLiteral("standard deviation");
        case StatisticsColumn::Jitter:
            break;
    }
    return QStringLiteral("jitter");
}

}  // namespace

std::optional<StatisticsColumn> StatisticsCellPainter::columnOf(int col) const {
    const int index = col - TTraceGrid::ColCount;
    if (index < 0 || index >= static_cast<int>(options_.ShownStatistics.size()))
        return std::nullopt;
    return options_.ShownStatistics[static_cast<size_t>(index)];
}

const WindowStatistics* StatisticsCellPainter::statisticsOf(int row) const {
    return evidence_ ? evidence_->statistics(row) : nullptr;
}

QString StatisticsCellPainter::text(StatisticsColumn column, const WindowStatistics* stats) const {
    if (stats == nullptr) return QString();
    return StatisticsFigureText(column, *stats, options_.ShowFractions);
}

QColor StatisticsCellPainter::background(StatisticsColumn column, const WindowStatistics* stats,
                                         const QColor& window) const {
    if (stats == nullptr || !options_.ColorHops || !IsLatencyColumn(column)) return window;
    const std::optional<double> us = StatisticsTimeUs(column, *stats);
    if (!us) return window;
    // Strict comparisons, as for the hop number: a time equal to a threshold stays below it.
    if (*us > options_.BadSpeed * 1000.0) return CriticalColor;
    if (*us > options_.WarningSpeed * 1000.0) return WarningColor;
    return window;
}

bool StatisticsCellPainter::muted(StatisticsColumn column, int row) const {
    return column == StatisticsColumn::Loss && options_.LossVerdicts && evidence_ != nullptr &&
           evidence_->rateLimited(row);
}

QString StatisticsCellPainter::description(int row) const {
    QString sentence;
    const WindowStatistics* stats = statisticsOf(row);
    for (StatisticsColumn column : options_.ShownStatistics) {
        const QString figure = text(column, stats);
        if (figure.isEmpty()) continue;
        sentence += QStringLiteral(", %1 %2").arg(SpokenName(column), figure);
        if (column != StatisticsColumn::Loss && column != StatisticsColumn::Sent)
            sentence += QStringLiteral(" ms");
    }
    return sentence;
}

void StatisticsCellPainter::drawCell(Canvas& canvas, StatisticsColumn column, int row,
                                     const WindowStatistics* stats, const CellRect& rect,
                                     const QColor& window) const {
    canvas.setBrushColor(background(column, stats, window));
    canvas.fillRect(rect);
    const QString figure = text(column, stats);
    if (figure.isEmpty()) return;
    const QColor textColor = canvas.font().color;
    if (muted(column, row)) canvas.setFontColor(GridEvidence::MutedColor);
    canvas.textRect(rect, rect.right - RightIndent - canvas.textWidth(figure), rect.top + 2,
                    figure);
    canvas.setFontColor(textColor);
}

}  // namespace hoplark
