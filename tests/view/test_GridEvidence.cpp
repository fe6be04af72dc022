#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "view/GridEvidence.h"
#include "view/GridToolTips.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;

// A trace built round by round: one string per hop, one character per round, a letter for an
// answer from 10.0.0.<letter> and '.' for a lost sample.
class GridEvidenceTest : public ::testing::Test {
protected:
    GridEvidenceTest() : painter(source(), options, grid), evidence(source()) {
        grid.resize(600, 10 * H);
        grid.setRowCount(6);
    }

    std::function<const TraceState&()> source() {
        return [this]() -> const TraceState& { return state; };
    }

    void trace(const std::vector<std::string>& hops) {
        state = TraceState();
        const qint32 rounds = static_cast<qint32>(hops.front().size());
        state.SamplesTaken = rounds;
        state.Window = {0, rounds - 1};
        for (const std::string& text : hops) {
            THostInfo& hop = state.HopList.append();
            for (qint32 round = 1; round <= rounds; ++round) {
                const char s = text[static_cast<size_t>(round - 1)];
                const bool lost = s == '.';
                const QString address = QStringLiteral("10.0.0.%1").arg(QChar(s));
                if (!lost && hop.IP.isEmpty()) hop.IP = address;
                hop.AddSample(lost ? LOST_SAMPLE : 10, state.Window,
                              SampleDetail{lost ? -1 : 10000, round}, lost ? QString() : address);
            }
        }
        state.DestinationHop = static_cast<qint32>(hops.size());
    }

    QImage render() {
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
        QImage image(600, 10 * H, QImage::Format_RGB32);
        QPainter p(&image);
        grid.paintCells(p, image.width(), image.height());
        return image;
    }

    QImage cell(const QImage& image, int col, int row) const {
        return image.copy(grid.colLeft(col), row * H, grid.colWidth(col), H);
    }

    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    TraceCellPainter painter;
    GridEvidence evidence;
};

TEST_F(GridEvidenceTest, TipsGiveTheEvidenceInPlainWords) {
    trace({"AAAAAAAA", "A.A.A.A.", "AAAAAAAA", "AAAAAAA."});
    EXPECT_TRUE(evidence.rateLimited(2));
    EXPECT_TRUE(evidence.errToolTip(2).startsWith(
        "4 of 4 lost answers came in rounds where later hops answered: this router limits its "
        "ICMP answers; traffic through it was not lost."))
        << evidence.errToolTip(2).toStdString();
    EXPECT_TRUE(evidence.errToolTip(2).contains("4 of 8 samples"))
        << evidence.errToolTip(2).toStdString();
    EXPECT_TRUE(evidence.errToolTip(1).isEmpty());
    EXPECT_FALSE(evidence.rateLimited(4));
    EXPECT_TRUE(evidence.errToolTip(4).contains("loss is the path's"))
        << evidence.errToolTip(4).toStdString();
    EXPECT_EQ(evidence.destinationLossText(), "Loss to destination: 12.5 %");

    // Loss that carries on names the hops beyond as the reason.
    trace({"AAAAAAAA", "A.AA.AAA", "AA.AA.AA"});
    EXPECT_FALSE(evidence.rateLimited(2));
    EXPECT_TRUE(evidence.errToolTip(2).contains("real loss on the path"))
        << evidence.errToolTip(2).toStdString();
    // Rows without a hop say nothing.
    EXPECT_TRUE(evidence.errToolTip(0).isEmpty());
    EXPECT_TRUE(evidence.errToolTip(9).isEmpty());
    EXPECT_TRUE(evidence.ipText(9).isEmpty());
}

TEST_F(GridEvidenceTest, SeveralRespondersShowTheMainOneAndTheirShares) {
    trace({"ABABA.BAA", "CCCCCCCCC"});
    EXPECT_EQ(evidence.ipText(1), "10.0.0.A +1");
    EXPECT_EQ(evidence.ipText(2), "10.0.0.C");
    const QString tip = evidence.ipToolTip(1);
    EXPECT_TRUE(tip.contains("2 addresses answered")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("10.0.0.A: 5 of 8 answers (62.5 %)")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("10.0.0.B: 3 of 8 answers (37.5 %)")) << tip.toStdString();
    // A window without answers shows the record's address.
    state.Window = {5, 5};
    EXPECT_EQ(evidence.ipText(1), "10.0.0.A");
    EXPECT_TRUE(evidence.ipToolTip(1).isEmpty());
}

TEST_F(GridEvidenceTest, PercentTextNeverHidesOrOverstatesLoss) {
    const std::pair<double, const char*> cases[] = {
        {0, "0 %"},        {2, "2 %"},     {100.0 / 3, "33.3 %"}, {0.01, "0.1 %"},
        {99.97, "99.9 %"}, {100, "100 %"}, {12.5, "12.5 %"},      {49.96, "50 %"},
    };
    for (const auto& [percent, text] : cases)
        EXPECT_EQ(PercentText(percent), text) << percent;
}

TEST_F(GridEvidenceTest, WithTheOptionOffTheGridIsDrawnAsWithoutIt) {
    trace({"AAAAAAAA", "A.B.A.B.", "AAAAAAAA"});
    const QImage plain = render();
    painter.setEvidence(&evidence);
    EXPECT_EQ(render(), plain);

    options.LossVerdicts = true;
    const QImage judged = render();
    // Hop 2's Err count is muted: no dark text pixels are left in it, but grey ones are.
    const QImage err = cell(judged, 1, 2);
    int dark = 0;
    int muted = 0;
    for (int y = 0; y < err.height(); ++y) {
        for (int x = 0; x < err.width(); ++x) {
            const QColor c = err.pixelColor(x, y);
            dark += c.lightness() < 60;
            muted += c.lightness() >= 100 && c.lightness() <= 200 && c.hslSaturation() < 20;
        }
    }
    EXPECT_EQ(dark, 0);
    EXPECT_GT(muted, 0);
    EXPECT_NE(cell(judged, 2, 2), cell(plain, 2, 2));  // "10.0.0.A +1"
    // Rows without a verdict or a second responder look as before.
    EXPECT_EQ(cell(judged, 1, 1), cell(plain, 1, 1));
    EXPECT_EQ(cell(judged, 2, 3), cell(plain, 2, 3));
    EXPECT_EQ(cell(judged, 4, 2), cell(plain, 4, 2));
}

TEST_F(GridEvidenceTest, ARowsSignatureFollowsItsVerdict) {
    // Partial repaints skip rows whose signature did not change, but a verdict depends on the
    // hops beyond: hop 1 and its neighbour are the same in both traces, only hop 3 differs.
    painter.setEvidence(&evidence);
    options.LossVerdicts = true;
    const CellRect rowRect{0, H, grid.colLeft(6), 2 * H};
    trace({"A.A.", "AA.A", "AA.A"});
    EXPECT_FALSE(evidence.rateLimited(1));
    const QByteArray lossy = painter.rowSignature(1, rowRect);
    trace({"A.A.", "AA.A", "AAAA"});
    EXPECT_TRUE(evidence.rateLimited(1));
    EXPECT_NE(painter.rowSignature(1, rowRect), lossy);
    // With the option off the verdict is not drawn, so it does not count.
    options.LossVerdicts = false;
    const QByteArray off = painter.rowSignature(1, rowRect);
    trace({"A.A.", "AA.A", "AA.A"});
    EXPECT_EQ(painter.rowSignature(1, rowRect), off);
}

TEST(GridToolTipsCells, PositionsMapToTheCellsUnderThem) {
    TTraceGrid grid;
    grid.resize(600, 10 * H);
    grid.setRowCount(6);
    using Cell = std::pair<int, int>;
    const struct {
        int x, y;
        Cell cell;
    } cases[] = {
        {5, 5, {-1, -1}},                  // header row
        {0, H, {0, 1}},                    // first hop row, first column
        {34, H + 16, {0, 1}},              // last pixel of the Hop cell
        {35, H, {1, 1}},                   // Err starts at 35
        {35 + 27, 3 * H, {2, 3}},          // IP
        {grid.colLeft(6) - 1, H, {5, 1}},  // last pixel of Graph
        {grid.colLeft(6), H, {-1, -1}},    // right of the columns
        {10, 6 * H, {-1, -1}},             // below the last row
        {-1, H, {-1, -1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GridToolTips::cellAt(grid, c.x, c.y), c.cell) << c.x << "," << c.y;
}

}  // namespace
}  // namespace hoplark
