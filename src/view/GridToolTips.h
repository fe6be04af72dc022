#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace hoplark {

class TTraceGrid;

// Tool tips for the cells of the trace grid. The grid paints every cell itself and has no items
// to carry tips, so this watches its viewport, finds the cell under the pointer and asks for
// that cell's text; an empty text shows no tip.
class GridToolTips : public QObject {
    Q_OBJECT

public:
    using TextForCell = std::function<QString(int col, int row)>;

    GridToolTips(TTraceGrid& grid, TextForCell text);

    // The cell (col, row) at a viewport position, or (-1, -1) outside the hop rows.
    static std::pair<int, int> cellAt(const TTraceGrid& grid, int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TTraceGrid& grid_;
    TextForCell text_;
};

}  // namespace hoplark
