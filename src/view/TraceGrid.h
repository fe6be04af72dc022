#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QRegion>
#include <functional>
#include <vector>

#include "view/Canvas.h"
#include "view/CanvasFont.h"
#include "view/CellRect.h"
#include "view/ColumnWidths.h"

namespace hoplark {

// The owner-drawn trace grid: six fixed columns and any number of extra ones shown between the
// fifth (Avg Time) and the last (Graph), rows of one height, one fixed header row that stays
// on top, a vertical scroll bar only and no grid lines. It paints no cell itself: every cell,
// row by row from the top and left to right within a row, goes to the draw-cell handler.
class TTraceGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The fixed columns; extra columns are numbered from ColCount on, the graph stays GraphCol.
    static constexpr int ColCount = 6;
    static constexpr int GraphCol = 5;
    static constexpr int DefaultRowHeight = 17;

    using DrawCellHandler =
        std::function<void(Canvas& canvas, int col, int row, const CellRect& rect, bool fixed)>;
    // A hop row read as one sentence, for screen readers.
    using RowDescriptionHandler = std::function<QString(int row)>;
    void setRowDescriptionHandler(RowDescriptionHandler handler) {
        rowDescription_ = std::move(handler);
    }
    QString rowDescription(int row) const {
        return rowDescription_ ? rowDescription_(row) : QString();
    }
    // What a row is painted from (see TraceCellPainter::rowSignature).
    using RowSignatureHandler = std::function<QByteArray(int row, const CellRect& rowRect)>;

    explicit TTraceGrid(QWidget* parent = nullptr);

    void setDrawCellHandler(DrawCellHandler handler) { drawCell_ = std::move(handler); }
    void setRowSignatureHandler(RowSignatureHandler handler) {
        rowSignature_ = std::move(handler);
        shownSignatures_.clear();
    }
    // The highest row whose area a row's last column draws into (the row itself when it draws
    // only inside its own). A row repainted alone is covered by these drawings in a full
    // repaint, so they are repeated over it.
    using ReachAboveHandler = std::function<int(int row)>;
    void setReachAboveHandler(ReachAboveHandler handler) { reachAbove_ = std::move(handler); }

    // Repaints, at once, only the shown rows whose signature changed since this last ran (all
    // of them the first time, or without a signature handler); nothing while the window is
    // hidden or minimised, which is repainted in full when it shows again. Returns the number
    // of separate row bands repainted.
    int repaintChangedRows();
    // The shown rows whose signature changed since the last call, which now count as painted.
    QRegion takeChangedRows();

    int colWidth(int col) const;
    void setColWidth(int col, int width);
    // The fixed columns' widths.
    const ColumnWidthArray& colWidths() const { return colWidths_; }
    void setColWidths(const ColumnWidthArray& widths);
    // x of a column's left edge in client pixels; the cells' right end for a column past the
    // last.
    int colLeft(int col) const;
    // Widths of the extra columns, left to right; none by default.
    void setExtraColWidths(const std::vector<int>& widths);
    int extraColCount() const { return static_cast<int>(extraColWidths_.size()); }
    int extraColsWidth() const;
    // Fixed and extra columns.
    int columnCount() const { return ColCount + extraColCount(); }
    // The column shown at `position` from the left (0 .. columnCount() - 1).
    int columnAt(int position) const;
    // The width of every cell of a row together.
    int cellsWidth() const;

    int rowCount() const { return rowCount_; }
    // Takes effect on screen with the next repaintChangedRows() or update().
    void setRowCount(int rows);
    int defaultRowHeight() const { return DefaultRowHeight; }
    // The first scrolled row shown under the header.
    int topRow() const { return topRow_; }
    // The row the arrow keys move (1 .. rowCount() - 1), framed while the grid has the focus.
    int currentRow() const { return currentRow_; }
    void setCurrentRow(int row);

    // Width of the cell area: the widget less its frame and a shown vertical scroll bar.
    int clientWidth() const;

    // The font the drawing surface starts every painting with.
    const CanvasFont& drawingFont() const { return drawingFont_; }
    void setDrawingFont(const CanvasFont& font) { drawingFont_ = font; }
    // Counts the changes of palette, style and theme: whoever keeps colours taken from the
    // grid takes them again when it moved on.
    int themeGeneration() const { return themeGeneration_; }

    // Paints the cell area of width x height into `painter`: the rows that meet `area`, or all
    // rows when it is empty.
    void paintCells(QPainter& painter, int width, int height, const QRegion& area = QRegion());

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void updateScrollRange();
    int visibleScrolledRows() const;
    void followTheme();

    DrawCellHandler drawCell_;
    RowSignatureHandler rowSignature_;
    RowDescriptionHandler rowDescription_;
    ReachAboveHandler reachAbove_;
    // Per shown row from the top (the header first): its signature when last repainted.
    std::vector<QByteArray> shownSignatures_;
    ColumnWidthArray colWidths_{35, 27, 90, 121, 82, 119};
    std::vector<int> extraColWidths_;
    int rowCount_ = 2;
    int topRow_ = 1;
    int currentRow_ = 1;
    CanvasFont drawingFont_;
    // The text colour of the theme the drawing font last followed.
    QColor themeText_;
    int themeGeneration_ = 0;
};

}  // namespace hoplark
