#include "view/TraceGrid.h"

#include "view/TraceGridAccessible.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>
#include <algorithm>
#include <numeric>

namespace hoplark {

TTraceGrid::TTraceGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    TraceGridAccessible::install();
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
    themeText_ = palette().color(QPalette::Text);
    drawingFont_ = {QStringLiteral("Arial"), 8, themeText_};
    updateScrollRange();
}

int TTraceGrid::colWidth(int col) const {
    if (col >= ColCount) return extraColWidths_[static_cast<size_t>(col - ColCount)];
    return colWidths_[static_cast<size_t>(col)];
}

void TTraceGrid::setColWidth(int col, int width) {
    int& slot = col >= ColCount ? extraColWidths_[static_cast<size_t>(col - ColCount)]
                                : colWidths_[static_cast<size_t>(col)];
    if (slot == width) return;
    slot = width;
    viewport()->update();
}

void TTraceGrid::setExtraColWidths(const std::vector<int>& widths) {
    if (extraColWidths_ == widths) return;
    extraColWidths_ = widths;
    shownSignatures_.clear();
    viewport()->update();
}

int TTraceGrid::extraColsWidth() const {
    return std::accumulate(extraColWidths_.begin(), extraColWidths_.end(), 0);
}

int TTraceGrid::columnAt(int position) const {
    if (position < GraphCol) return position;
    if (position < GraphCol + extraColCount()) return ColCount + position - GraphCol;
    return GraphCol;
}

int TTraceGrid::cellsWidth() const {
    return std::accumulate(colWidths_.begin(), colWidths_.end(), 0) + extraColsWidth();
}

void TTraceGrid::setColWidths(const ColumnWidthArray& widths) {
    if (colWidths_ == widths) return;
    colWidths_ = widths;
    viewport()->update();
}

int TTraceGrid::colLeft(int col) const {
    if (col < 0 || col >= columnCount()) return cellsWidth();
    int left = 0;
    for (int position = 0; columnAt(position) != col; ++position)
        left += colWidth(columnAt(position));
    return left;
}

void TTraceGrid::setRowCount(int rows) {
    rows = std::max(1, rows);
    if (rows == rowCount_) return;
    rowCount_ = rows;
    // The rows themselves repaint with the repaint that follows every change of the table.
    currentRow_ = std::clamp(currentRow_, 1, std::max(1, rowCount_ - 1));
    updateScrollRange();
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

void TTraceGrid::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ApplicationPaletteChange:
        case QEvent::StyleChange:
        case QEvent::ThemeChange:
            followTheme();
            break;
        default:
            break;
    }
}

void TTraceGrid::followTheme() {
    // A drawing font in the theme's text colour keeps following it; one given another colour
    // keeps that.
    const QColor text = palette().color(QPalette::Text);
    if (drawingFont_.color == themeText_) drawingFont_.color = text;
    themeText_ = text;
    ++themeGeneration_;
    // Every row's colours may have changed: the whole grid repaints, and no row counts as
    // painted in the old ones.
    shownSignatures_.clear();
    viewport()->update();
}

void TTraceGrid::setCurrentRow(int row) {
    currentRow_ = std::clamp(row, 1, std::max(1, rowCount_ - 1));
    // Keep it in view: scroll just far enough.
    QScrollBar* bar = verticalScrollBar();
    const int shown = visibleScrolledRows();
    if (currentRow_ < topRow_) bar->setValue(currentRow_ - 1);
    if (currentRow_ >= topRow_ + shown) bar->setValue(currentRow_ - shown);
    viewport()->update();
}

void TTraceGrid::keyPressEvent(QKeyEvent* event) {
    const int page = visibleScrolledRows();
    switch (event->key()) {
        case Qt::Key_Up:
            setCurrentRow(currentRow_ - 1);
            break;
        case Qt::Key_Down:
            setCurrentRow(currentRow_ + 1);
            break;
        case Qt::Key_PageUp:
            setCurrentRow(currentRow_ - page);
            break;
        case Qt::Key_PageDown:
            setCurrentRow(currentRow_ + page);
            break;
        case Qt::Key_Home:
            setCurrentRow(1);
            break;
        case Qt::Key_End:
            setCurrentRow(rowCount_ - 1);
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    event->accept();
}

void TTraceGrid::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TTraceGrid::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

int TTraceGrid::repaintChangedRows() {
    const QWidget* top = window();
    if (!isVisible() || (top && top->isMinimized())) {
        // Hidden rows cost nothing; all of them are repainted when they show again.
        shownSignatures_.clear();
        return 0;
    }
    const QRegion changed = takeChangedRows();
    if (!changed.isEmpty()) viewport()->repaint(changed);
    return static_cast<int>(changed.rectCount());
}

QRegion TTraceGrid::takeChangedRows() {
    const int width = viewport()->width();
    const int height = viewport()->height();
    std::vector<QByteArray> signatures;
    QRegion changed;
    const auto visit = [&](int row, int top) {
        const size_t slot = signatures.size();
        const CellRect rowRect{0, top, cellsWidth(), top + DefaultRowHeight};
        // Below the last row only the grid's background shows, the same until a resize.
        signatures.push_back(row < rowCount_ && rowSignature_ ? rowSignature_(row, rowRect)
                                                              : QByteArray("below", 5));
        const bool same = rowSignature_ && slot < shownSignatures_.size() &&
                          shownSignatures_[slot] == signatures.back();
        // One rectangle per row, so that neighbouring changed rows stay countable.
        if (!same) changed = changed.united(QRect(0, top, width, DefaultRowHeight));
    };
    visit(0, 0);
    for (int row = topRow_, top = DefaultRowHeight; top < height; ++row, top += DefaultRowHeight)
        visit(row, top);
    shownSignatures_ = std::move(signatures);
    return changed;
}

void TTraceGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    paintCells(painter, viewport()->width(), viewport()->height(), event->region());
    // The keyboard's place: a focus frame around the current row, over the painted cells.
    if (hasFocus() && currentRow_ >= topRow_) {
        const int top = DefaultRowHeight * (1 + currentRow_ - topRow_);
        if (top < viewport()->height()) {
            const int width = std::min(cellsWidth(), viewport()->width());
            Canvas canvas(painter, drawingFont_);
            canvas.drawDottedFrame({0, top, width, top + DefaultRowHeight},
                                   palette().color(QPalette::Highlight));
        }
    }
}

void TTraceGrid::paintCells(QPainter& painter, int width, int height, const QRegion& area) {
    const QColor background = palette().color(QPalette::Button);
    Canvas canvas(painter, drawingFont_);
    const auto paintCell = [&](int col, int row, int top) {
        const int left = colLeft(col);
        const int right = left + colWidth(col);
        if (drawCell_)
            drawCell_(canvas, col, row, {left, top, right, top + DefaultRowHeight}, row == 0);
    };
    const auto meets = [&](int top, int bottom) {
        return area.isEmpty() || area.intersects(QRect(0, top, width, bottom - top));
    };
    const auto paintRow = [&](int row, int top) {
        if (meets(top, top + DefaultRowHeight)) {
            for (int position = 0; position < columnCount(); ++position)
                paintCell(columnAt(position), row, top);
            return;
        }
        // A row left out still draws the lines it reaches up into a repainted row with, over
        // that row, as a full repaint does.
        const int reach = reachAbove_ ? reachAbove_(row) : row;
        if (reach < row && meets(top - (row - reach) * DefaultRowHeight, top))
            paintCell(GraphCol, row, top);
    };
    paintRow(0, 0);
    int top = DefaultRowHeight;
    for (int row = topRow_; row < rowCount_ && top < height; ++row, top += DefaultRowHeight)
        paintRow(row, top);
    // Only where no cell is does the grid's own background show.
    const int cellsRight = cellsWidth();
    canvas.setBrushColor(background);
    if (cellsRight < width) canvas.fillRect({cellsRight, 0, width, top});
    if (top < height) canvas.fillRect({0, top, width, height});
}

}  // namespace hoplark
