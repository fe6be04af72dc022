#include "view/TraceGrid.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace hoplark {

TTraceGrid::TTraceGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
    // Live scrolling while the thumb is dragged.
    verticalScrollBar()->setTracking(true);
    // The drawing surface's own font: the default 8-point user-interface font in the window
    // text colour, whatever font the control itself is given.
    drawingFont_ = {QStringLiteral("Arial"), 8, palette().color(QPalette::Text)};
    updateScrollRange();
}

void TTraceGrid::setColWidth(int col, int width) {
    colWidths_[static_cast<size_t>(col)] = width;
    viewport()->update();
}

void TTraceGrid::setColWidths(const ColumnWidthArray& widths) {
    colWidths_ = widths;
    viewport()->update();
}

int TTraceGrid::colLeft(int col) const {
    int left = 0;
    for (int c = 0; c < col; ++c)
        left += colWidths_[static_cast<size_t>(c)];
    return left;
}

void TTraceGrid::setRowCount(int rows) {
    rowCount_ = std::max(1, rows);
    updateScrollRange();
    viewport()->update();
}

int TTraceGrid::visibleScrolledRows() const {
    const int cellHeight = height() - 2 * frameWidth();
    return std::max(1, (cellHeight - DefaultRowHeight) / DefaultRowHeight);
}

void TTraceGrid::updateScrollRange() {
    const int scrolledRows = rowCount_ - 1;
    const int maximum = std::max(0, scrolledRows - visibleScrolledRows());
    verticalScrollBar()->setPageStep(visibleScrolledRows());
    verticalScrollBar()->setRange(0, maximum);
    topRow_ = 1 + verticalScrollBar()->value();
}

int TTraceGrid::clientWidth() const {
    const QScrollBar* bar = verticalScrollBar();
    const bool barShown = bar->maximum() > bar->minimum();
    return width() - 2 * frameWidth() - (barShown ? bar->sizeHint().width() : 0);
}

void TTraceGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
}

void TTraceGrid::scrollContentsBy(int, int) {
    topRow_ = 1 + verticalScrollBar()->value();
    viewport()->update();
}

void TTraceGrid::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    paintCells(painter, viewport()->width(), viewport()->height());
}

void TTraceGrid::paintCells(QPainter& painter, int width, int height) {
    const QColor background = palette().color(QPalette::Button);
    Canvas canvas(painter, drawingFont_);
    const auto paintRow = [&](int row, int top) {
        int left = 0;
        for (int col = 0; col < ColCount; ++col) {
            const int right = left + colWidths_[static_cast<size_t>(col)];
            if (drawCell_)
                drawCell_(canvas, col, row, {left, top, right, top + DefaultRowHeight}, row == 0);
            left = right;
        }
    };
    paintRow(0, 0);
    int top = DefaultRowHeight;
    for (int row = topRow_; row < rowCount_ && top < height; ++row, top += DefaultRowHeight) {
        paintRow(row, top);
    }
    // Only where no cell is does the grid's own background show.
    const int cellsRight = colLeft(ColCount);
    if (cellsRight < width) painter.fillRect(cellsRight, 0, width - cellsRight, top, background);
    if (top < height) painter.fillRect(0, top, width, height - top, background);
}

}  // namespace hoplark
