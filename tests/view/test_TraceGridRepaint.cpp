#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <random>

#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;
constexpr int Width = 600;
constexpr int Height = 20 * H;

// A grid whose painter reads `state`, repainted only where its rows changed, as on screen.
class GridRepaint : public ::testing::Test {
protected:
    GridRepaint() : painter(source(), options, grid) {
        grid.resize(Width + 10, Height + 10);
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
        grid.setRowSignatureHandler([this](int row, const CellRect& rowRect) {
            return painter.rowSignature(row, rowRect);
        });
        grid.setReachAboveHandler([this](int row) { return painter.reachAbove(row); });
        screen.fill(Qt::magenta);
    }

    std::function<const TraceState&()> source() {
        return [this]() -> const TraceState& { return state; };
    }

    void addSample(int index, qint32 value) {
        while (state.HopList.count() <= index)
            state.HopList.append();
        THostInfo& hop = state.HopList.at(index);
        state.Window = {0, static_cast<qint32>(hop.Samples.size())};
        hop.AddSample(value, state.Window);
        if (value != LOST_SAMPLE && hop.IP.isEmpty())
            hop.IP = QStringLiteral("10.0.0.%1").arg(index);
        grid.setRowCount(state.HopList.count() + 1);
    }

    // The rows (1-based hop rows, 0 the header) a repaint now would cover.
    std::vector<int> changedRows() {
        const QRegion region = grid.takeChangedRows();
        std::vector<int> rows;
        for (int row = 0; row * H < Height; ++row) {
            if (region.intersects(QRect(0, row * H, Width, H))) rows.push_back(row);
        }
        return rows;
    }

    // Paints what changed onto the kept image, clipped to it as a window system would.
    void repaintChanged() {
        const QRegion region = grid.takeChangedRows();
        QPainter p(&screen);
        p.setClipRegion(region);
        grid.paintCells(p, Width, Height, region);
    }

    QImage fullRender() {
        QImage image(Width, Height, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        grid.paintCells(p, Width, Height);
        return image;
    }

    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    TraceCellPainter painter;
    QImage screen{Width, Height, QImage::Format_RGB32};
};

TEST_F(GridRepaint, AResultRepaintsItsRowAndTheRowsWhoseLineReachesIt) {
    struct Case {
        const char* what;
        std::function<void(TraceState&)> change;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {"a new sample moves hop 3's point",
         [](TraceState& s) {
             s.HopList.at(2).AddSample(80, {0, 1});
         },
         {2, 3, 4}},
        {"a name changes only its row",
         [](TraceState& s) { s.HopList.at(2).DNSName = QStringLiteral("core-3.example"); },
         {3}},
        {"a lost sample at the last hop",
         [](TraceState& s) {
             s.HopList.at(5).AddSample(LOST_SAMPLE, {0, 1});
         },
         {5, 6}},
        {"the scale changes every hop row",
         [](TraceState& s) { s.GraphScale = 500; },
         {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state = {};
        state.GraphScale = 100;
        for (int i = 0; i < 6; ++i)
            addSample(i, 10 * (i + 1));
        (void)changedRows();
        EXPECT_TRUE(changedRows().empty()) << "nothing changed";
        c.change(state);
        EXPECT_EQ(changedRows(), c.rows);
    }

    // A silent hop's row carries the line between its neighbours, so a change at hop 3 also
    // repaints hop 1's row when hop 2 never answered.
    state = {};
    state.GraphScale = 100;
    addSample(0, 10);
    addSample(1, LOST_SAMPLE);
    addSample(2, 30);
    addSample(3, 40);
    (void)changedRows();
    state.HopList.at(2).AddSample(90, {0, 1});
    EXPECT_EQ(changedRows(), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(GridRepaint, RepaintingOnlyChangedRowsLeavesTheSameImageAsAFullRepaint) {
    std::mt19937 random(7);
    state.GraphScale = 100;
    options.ShowCurrentTime = true;
    grid.setColWidth(4, 80);
    for (int step = 0; step < 300; ++step) {
        const int hop = std::uniform_int_distribution<int>(0, 12)(random);
        const int kind = std::uniform_int_distribution<int>(0, 9)(random);
        if (kind == 0) {
            addSample(hop, LOST_SAMPLE);
        } else if (kind == 1 && hop < state.HopList.count()) {
            state.HopList.at(hop).DNSName = QStringLiteral("r%1-%2").arg(hop).arg(step);
        } else if (kind == 2) {
            state.GraphScale = std::uniform_int_distribution<int>(50, 400)(random);
            options.ShowFractions = !options.ShowFractions;
        } else {
            addSample(hop, std::uniform_int_distribution<int>(0, 300)(random));
        }
        repaintChanged();
        const QImage expected = fullRender();
        if (screen != expected) {
            for (int y = 0; y < Height; ++y)
                for (int x = 0; x < Width; ++x)
                    ASSERT_EQ(screen.pixel(x, y), expected.pixel(x, y))
                        << "step " << step << " at " << x << "," << y;
        }
    }
}

TEST_F(GridRepaint, AHiddenGridPaintsNothingAndRepaintsEverythingWhenShown) {
    addSample(0, 10);
    EXPECT_EQ(grid.repaintChangedRows(), 0);
    grid.show();
    EXPECT_GT(grid.repaintChangedRows(), 0);
    EXPECT_EQ(grid.repaintChangedRows(), 0);
    grid.hide();
    addSample(0, 20);
    EXPECT_EQ(grid.repaintChangedRows(), 0);
    grid.show();
    EXPECT_GT(grid.repaintChangedRows(), 0);
}

}  // namespace
}  // namespace hoplark
