#include "view/GridToolTips.h"

#include <QHelpEvent>
#include <QToolTip>

#include "view/TraceGrid.h"

namespace hoplark {

GridToolTips::GridToolTips(TTraceGrid& grid, TextForCell text)
    : QObject(&grid), grid_(grid), text_(std::move(text)) {
    grid_.viewport()->installEventFilter(this);
}

std::pair<int, int> GridToolTips::cellAt(const TTraceGrid& grid, int x, int y) {
    const int height = grid.defaultRowHeight();
    // The header row stays on top; the scrolled rows start below it at topRow().
    if (x < 0 || y < height) return {-1, -1};
    const int row = grid.topRow() + (y - height) / height;
    if (row >= grid.rowCount()) return {-1, -1};
    for (int position = 0, right = 0; position < grid.columnCount(); ++position) {
        const int col = grid.columnAt(position);
        right += grid.colWidth(col);
        if (x < right) return {col, row};
    }
    return {-1, -1};
}

bool GridToolTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || watched != grid_.viewport()) return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    const auto [col, row] = cellAt(grid_, help->pos().x(), help->pos().y());
    const QString text = col >= 0 && text_ ? text_(col, row) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, grid_.viewport());
    }
    return true;
}

}  // namespace hoplark
