#pragma once

#include <QAbstractScrollArea>
#include <functional>

#include "view/Canvas.h"
#include "view/CanvasFont.h"
#include "view/CellRect.h"
#include "view/ColumnWidths.h"

namespace hoplark {

// The owner-drawn trace grid: six columns, rows of one height, one fixed header row that stays
// on top, a vertical scroll bar only and no grid lines. It paints no cell itself: every cell,
// row by row from the top and left to right within a row, goes to the draw-cell handler.
class TTraceGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int ColCount = 6;
    static constexpr int DefaultRowHeight = 17;

    using DrawCellHandler =
        std::function<void(Canvas& canvas, int col, int row, const CellRect& rect, bool fixed)>;

    explicit TTraceGrid(QWidget* parent = nullptr);

    void setDrawCellHandler(DrawCellHandler handler) { drawCell_ = std::move(handler); }

    int colWidth(int col) const { return colWidths_[static_cast<size_t>(col)]; }
    void setColWidth(int col, int width);
    const ColumnWidthArray& colWidths() const { return colWidths_; }
    void setColWidths(const ColumnWidthArray& widths);
    // x of a column's left edge in client pixels.
    int colLeft(int col) const;

    int rowCount() const { return rowCount_; }
    void setRowCount(int rows);
    int defaultRowHeight() const { return DefaultRowHeight; }
    // The first scrolled row shown under the header.
    int topRow() const { return topRow_; }

    // Width of the cell area: the widget less its frame and a shown vertical scroll bar.
    int clientWidth() const;

    // The font the drawing surface starts every painting with.
    const CanvasFont& drawingFont() const { return drawingFont_; }
    void setDrawingFont(const CanvasFont& font) { drawingFont_ = font; }

    // Paints the whole cell area of clientWidth() x viewport height into `painter`.
    void paintCells(QPainter& painter, int width, int height);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollRange();
    int visibleScrolledRows() const;

    DrawCellHandler drawCell_;
    ColumnWidthArray colWidths_{35, 27, 90, 121, 82, 119};
    int rowCount_ = 2;
    int topRow_ = 1;
    CanvasFont drawingFont_;
};

}  // namespace hoplark
