#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "view/GridEvidence.h"
#include "view/StatisticsColumns.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"
#include "view/TraceText.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;
constexpr int Width = 900;

TEST(StatisticsColumns, SettingsTextKeepsTheGridsOrderAndSkipsUnknownNames) {
    EXPECT_EQ(StatisticsColumnsText(LikeMtrColumns()),
              QStringLiteral("Loss%,Snt,Last,Avg,Best,Wrst,StDev"));
    EXPECT_EQ(ParseStatisticsColumns(QStringLiteral(" jttr,LOSS%,bogus,,Snt,Snt")),
              (StatisticsColumns{StatisticsColumn::Loss, StatisticsColumn::Sent,
                                 StatisticsColumn::Jitter}));
    EXPECT_TRUE(ParseStatisticsColumns(QString()).empty());
    EXPECT_EQ(ParseStatisticsColumns(StatisticsColumnsText(AllStatisticsColumns())),
              AllStatisticsColumns());
}

TEST(StatisticsColumns, FiguresAreCutToWholeMillisecondsOrShownTo0_01AndAbsentIsEmpty) {
    WindowStatistics stats;
    stats.sent = 4;
    stats.lost = 1;
    stats.lossPercent = 25.0;
    stats.meanUs = 12999.0;
    stats.stdevUs = 0.0;
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::Loss, stats, false), QStringLiteral("25 %"));
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::Sent, stats, false), QStringLiteral("4"));
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::Average, stats, false), QStringLiteral("12"));
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::Average, stats, true),
              QStringLiteral("13.00"));
    // A single sample's deviation is a true 0; a missing figure is no figure.
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::StDev, stats, false), QStringLiteral("0"));
    EXPECT_EQ(StatisticsFigureText(StatisticsColumn::Best, stats, false), QString());
    for (StatisticsColumn column : AllStatisticsColumns())
        EXPECT_EQ(StatisticsFigureText(column, WindowStatistics{}, true), QString());
}

// A grid showing statistics columns over a trace whose figures are known.
class StatisticsCellsTest : public ::testing::Test {
protected:
    StatisticsCellsTest() : painter(source(), options, grid), evidence(source()) {
        painter.setEvidence(&evidence);
        grid.resize(Width, 8 * H);
        state.SamplesTaken = 3;
        state.Window = {0, 2};
        // Hop 1: 10, 20 and 600 ms; hop 2: one round pending and nothing else; hop 3 answers.
        THostInfo& first = state.HopList.append();
        first.IP = QStringLiteral("10.0.0.1");
        for (qint32 round = 1; round <= 3; ++round) {
            const qint32 ms = round == 3 ? 600 : 10 * round;
            first.AddSample(ms, state.Window, SampleDetail{ms * 1000, round}, first.IP);
        }
        THostInfo& second = state.HopList.append();
        second.MarkPending(3);
        THostInfo& third = state.HopList.append();
        third.IP = QStringLiteral("10.0.0.3");
        third.AddSample(5, state.Window, SampleDetail{5000, 3}, third.IP);
        state.DestinationHop = 3;
        grid.setRowCount(4);
    }

    std::function<const TraceState&()> source() {
        return [this]() -> const TraceState& { return state; };
    }

    void show(const StatisticsColumns& columns) {
        options.ShownStatistics = columns;
        std::vector<int> widths;
        for (StatisticsColumn column : columns)
            widths.push_back(StatisticsColumnWidth(column, 0));
        grid.setExtraColWidths(widths);
    }

    QImage render() {
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
        QImage image(Width, 8 * H, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        grid.paintCells(p, image.width(), image.height());
        return image;
    }

    // The grid column showing `column`.
    int colOf(StatisticsColumn column) const {
        const auto& shown = options.ShownStatistics;
        return TTraceGrid::ColCount +
               int(std::find(shown.begin(), shown.end(), column) - shown.begin());
    }
    QImage cell(const QImage& image, StatisticsColumn column, int row) const {
        const int col = colOf(column);
        return image.copy(grid.colLeft(col) + 1, row * H + 1, grid.colWidth(col) - 2, H - 2);
    }
    static int count(const QImage& image, const QColor& color) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixelColor(x, y) == color;
        return n;
    }

    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    TraceCellPainter painter;
    GridEvidence evidence;
};

TEST_F(StatisticsCellsTest, ColumnsStandBetweenAvgTimeAndGraphAndNoneLeavesTheGridAsItWas) {
    const QImage plain = render();
    show(LikeMtrColumns());
    EXPECT_EQ(grid.columnCount(), 13);
    EXPECT_EQ(grid.colLeft(colOf(StatisticsColumn::Loss)), grid.colLeft(4) + grid.colWidth(4));
    EXPECT_EQ(grid.colLeft(TTraceGrid::GraphCol),
              grid.colLeft(colOf(StatisticsColumn::StDev)) +
                  grid.colWidth(colOf(StatisticsColumn::StDev)));
    const QImage shown = render();
    // Everything left of the new columns is painted as before.
    const QRect fixedPart(0, 0, grid.colLeft(colOf(StatisticsColumn::Loss)), 3 * H);
    EXPECT_EQ(shown.copy(fixedPart), plain.copy(fixedPart));
    show({});
    EXPECT_EQ(render(), plain);
}

TEST_F(StatisticsCellsTest, LatenciesTakeTheThresholdsColoursAndAHopWithoutResultsShowsNothing) {
    show(AllStatisticsColumns());
    const QImage image = render();
    const QColor window = grid.palette().color(QPalette::Base);
    const QColor red(255, 0, 0);
    const QColor yellow(255, 255, 0);
    const int area = (grid.colWidth(colOf(StatisticsColumn::Last)) - 2) * (H - 2);
    // Last and Wrst 600 ms: critical; Avg 210 ms: warning; Best 10 ms: neither.
    EXPECT_GT(count(cell(image, StatisticsColumn::Last, 1), red), area / 2);
    EXPECT_GT(count(cell(image, StatisticsColumn::Worst, 1), red), area / 2);
    EXPECT_GT(count(cell(image, StatisticsColumn::Average, 1), yellow), area / 2);
    EXPECT_GT(count(cell(image, StatisticsColumn::Best, 1), window), area / 2);
    EXPECT_LT(count(cell(image, StatisticsColumn::Best, 1), window), area);  // its figure
    // A deviation is no latency: no threshold colour however large.
    EXPECT_EQ(count(cell(image, StatisticsColumn::StDev, 1), red), 0);
    // The pending hop: every cell blank, not "0".
    for (StatisticsColumn column : AllStatisticsColumns()) {
        const QImage blank = cell(image, column, 2);
        EXPECT_EQ(count(blank, window), blank.width() * blank.height())
            << qPrintable(StatisticsColumnTitle(column));
    }
    options.ColorHops = false;
    EXPECT_EQ(count(cell(render(), StatisticsColumn::Last, 1), red), 0);
}

TEST_F(StatisticsCellsTest, DarkPaletteKeepsTheFiguresReadable) {
    QPalette dark = grid.palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(50, 50, 50));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    grid.setPalette(dark);
    show({StatisticsColumn::Sent, StatisticsColumn::Best, StatisticsColumn::Worst});
    const QImage image = render();
    // The darkest pixel of the critical cell is its figure, and the lightest of the plain one.
    const auto extreme = [](const QImage& img, bool darkest) {
        int best = darkest ? 255 : 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const int l = img.pixelColor(x, y).lightness();
                best = darkest ? std::min(best, l) : std::max(best, l);
            }
        return best;
    };
    EXPECT_GT(extreme(cell(image, StatisticsColumn::Sent, 1), false), 180);
    EXPECT_LT(extreme(cell(image, StatisticsColumn::Worst, 1), true), 60);
}

TEST_F(StatisticsCellsTest, CopyAsTextAndScreenReadersGetTheShownFigures) {
    show({StatisticsColumn::Loss, StatisticsColumn::Sent, StatisticsColumn::Best});
    const QStringList lines = BuildTraceText(state, QStringLiteral("t"), QStringLiteral("10.0.0.2"),
                                             false, options.ShownStatistics, &evidence.evidence())
                                  .split(QStringLiteral("\r\n"));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral("[10.0.0.1]  Loss% 0 %  Snt 3  Best 10 ms")))
        << qPrintable(lines[3]);
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral("  Loss% -  Snt -  Best -")))
        << qPrintable(lines[4]);
    EXPECT_TRUE(
        painter.rowDescription(1).endsWith(QStringLiteral(", loss 0 %, sent 3, best 10 ms")))
        << qPrintable(painter.rowDescription(1));
}

}  // namespace
}  // namespace hoplark
