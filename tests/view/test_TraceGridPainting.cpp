#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "view/ColumnWidths.h"
#include "view/GraphPoints.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;

// Renders a hop table through the grid's painter into an image.
class GridPainting : public ::testing::Test {
protected:
    GridPainting() : painter(source(), options, grid) {
        grid.resize(600, 20 * H);
        grid.setRowCount(8);
    }

    std::function<const TraceState&()> source() {
        return [this]() -> const TraceState& { return state; };
    }

    // Appends a hop whose window covers every sample it holds.
    THostInfo& addHop(std::initializer_list<qint32> samples) {
        THostInfo& hop = state.HopList.append();
        SampleWindow window{0, static_cast<qint32>(samples.size()) - 1};
        for (qint32 value : samples)
            hop.AddSample(value, window);
        return hop;
    }

    QImage render() {
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
        QImage image(600, 20 * H, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        grid.paintCells(p, image.width(), image.height());
        return image;
    }

    int graphLeft() const { return grid.colLeft(5); }
    int rowTop(int row) const { return row * H; }
    QColor window() const { return grid.palette().color(QPalette::Base); }

    static int countPixels(const QImage& image, QRect area, const std::function<bool(QColor)>& is) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                count += is(image.pixelColor(x, y));
        }
        return count;
    }
    QRect graphCell(int row) const { return QRect(graphLeft(), rowTop(row), grid.colWidth(5), H); }

    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    TraceCellPainter painter;
};

TEST_F(GridPainting, ThresholdBandsStartAtTheTruncatedBoundaries) {
    struct Case {
        qint32 scale, warning, bad;
        int greenEnd, yellowEnd;  // offsets from the cell's left; -1: runs to the right edge
    };
    const Case cases[] = {
        {1000, 200, 500, 23, 59},  // column width 119
        {300, 200, 500, 79, -1},   // no red band
        {200, 200, 500, -1, -1},   // a threshold equal to the scale gets no band
        {1000, 500, 200, 23, 23},  // critical below warning: no yellow, red from the critical x
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        state = {};
        addHop({LOST_SAMPLE});
        addHop({LOST_SAMPLE});
        state.GraphScale = c.scale;
        options.WarningSpeed = c.warning;
        options.BadSpeed = c.bad;
        const QImage image = render();
        const int y = rowTop(2) + 2;
        const int right = graphLeft() + grid.colWidth(5);
        const int greenEnd = c.greenEnd < 0 ? right : graphLeft() + c.greenEnd;
        const int yellowEnd = c.yellowEnd < 0 ? right : graphLeft() + c.yellowEnd;
        for (int x = graphLeft(); x < right; ++x) {
            const QColor expected = x < greenEnd    ? TraceCellPainter::BandNormalColor
                                    : x < yellowEnd ? TraceCellPainter::BandWarningColor
                                                    : TraceCellPainter::BandBadColor;
            ASSERT_EQ(image.pixelColor(x, y), expected) << "x offset " << x - graphLeft();
        }
    }
}

TEST_F(GridPainting, HopCellColourUsesStrictComparisons) {
    struct Case {
        std::initializer_list<qint32> samples;
        QColor expected;
    };
    const Case cases[] = {
        {{501}, QColor(255, 0, 0)}, {{500}, QColor(255, 255, 0)}, {{201}, QColor(255, 255, 0)},
        {{200}, QColor(0, 255, 0)}, {{0}, QColor(0, 255, 0)},     {{LOST_SAMPLE}, QColor()},
    };
    for (const Case& c : cases)
        addHop(c.samples);
    state.GraphScale = 600;
    const QImage image = render();
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const QColor expected = cases[i].expected.isValid() ? cases[i].expected : window();
        EXPECT_EQ(image.pixelColor(2, rowTop(i + 1) + 1), expected) << "hop " << i + 1;
    }

    options.ColorHops = false;
    EXPECT_EQ(render().pixelColor(2, rowTop(1) + 1), window());
}

TEST_F(GridPainting, UnreachableRowIsTintedOnlyWithGraphColouring) {
    addHop({10});
    THostInfo& marker = addHop({LOST_SAMPLE});
    marker.Unreachable = true;
    marker.DNSName = UNREACHABLE_NAME;
    state.GraphScale = 10;
    for (bool colorGraphs : {true, false}) {
        SCOPED_TRACE(colorGraphs);
        options.ColorGraphs = colorGraphs;
        const QImage image = render();
        const QColor expected = colorGraphs ? TraceCellPainter::UnreachableColor : window();
        // Bottom-left corner of each of cells 0..4, clear of any text.
        for (int col = 0; col < 5; ++col) {
            EXPECT_EQ(image.pixelColor(grid.colLeft(col) + 1, rowTop(2) + H - 1), expected)
                << "column " << col;
        }
        // The message runs on across Avg Time.
        const QRect avgCell(grid.colLeft(4), rowTop(2), grid.colWidth(4), H);
        EXPECT_GT(countPixels(image, avgCell, [](QColor c) { return c.lightness() < 100; }), 0);
    }
}

TEST_F(GridPainting, RedLineBridgesASilentHop) {
    addHop({20});
    addHop({LOST_SAMPLE});
    addHop({60});
    state.GraphScale = 100;
    options.ColorGraphs = false;
    const QImage image = render();
    const auto isRed = [](QColor c) { return c == QColor(255, 0, 0); };
    EXPECT_GT(countPixels(image, graphCell(2), isRed), 0);
    // No dot on the silent hop: at its own x (0 ms, the left edge) nothing red.
    EXPECT_EQ(countPixels(image, QRect(graphLeft(), rowTop(2), 6, H), isRed), 0);
    // The segment passes the silent row's middle halfway between the two averages.
    const int W = grid.colWidth(5) - 1;
    const int midX =
        (LatencyToX(graphLeft(), 20, 100, W) + LatencyToX(graphLeft(), 60, 100, W)) / 2;
    EXPECT_GT(countPixels(image, QRect(midX - 3, rowTop(2) + H / 2 - 2, 7, 5), isRed), 0);
}

TEST_F(GridPainting, CrossMarksTheCurrentSampleUnlessItWasLost) {
    const auto isBlue = [](QColor c) { return c == QColor(0, 0, 255); };
    state.GraphScale = 100;
    options.ColorGraphs = false;
    addHop({40, 50});
    EXPECT_GT(countPixels(render(), graphCell(1), isBlue), 0);

    state = {};
    state.GraphScale = 100;
    addHop({40, LOST_SAMPLE});
    ASSERT_EQ(state.HopList.at(0).CurTime, LOST_SAMPLE);
    EXPECT_EQ(countPixels(render(), graphCell(1), isBlue), 0);

    state = {};
    state.GraphScale = 100;
    addHop({40, 50});
    options.GraphCurrentSample = false;
    EXPECT_EQ(countPixels(render(), graphCell(1), isBlue), 0);
}

TEST_F(GridPainting, ScaleLabelsOnlyOnTheFirstHopRow) {
    for (int i = 0; i < 3; ++i)
        addHop({LOST_SAMPLE});
    state.GraphScale = 750;
    options.ColorGraphs = false;
    const QImage image = render();
    const auto isGreen = [](QColor c) {
        return c.green() > c.red() + 40 && c.green() > c.blue() + 40;
    };
    EXPECT_GT(countPixels(image, graphCell(1), isGreen), 0);
    EXPECT_EQ(countPixels(image, graphCell(2), isGreen), 0);
    EXPECT_EQ(countPixels(image, graphCell(3), isGreen), 0);
    // Later text is drawn in the saved font again, not the labels' green.
    EXPECT_EQ(countPixels(image, QRect(grid.colLeft(0), rowTop(2), grid.colWidth(0), H), isGreen),
              0);
}

TEST_F(GridPainting, HeaderCellsHaveRaisedEdgesAndEmptyRowsAreButtonFace) {
    const QImage image = render();
    const QPalette palette = grid.palette();
    for (int col = 0; col < TTraceGrid::ColCount; ++col) {
        const int left = grid.colLeft(col);
        const int right = left + grid.colWidth(col) - 1;
        EXPECT_EQ(image.pixel(left + 3, 0), palette.color(QPalette::Light).rgb()) << col;
        EXPECT_EQ(image.pixel(left, 8), palette.color(QPalette::Light).rgb()) << col;
        EXPECT_EQ(image.pixel(left + 3, H - 1), palette.color(QPalette::Dark).rgb()) << col;
        EXPECT_EQ(image.pixel(right, 8), palette.color(QPalette::Dark).rgb()) << col;
    }
    // No records: the hop row is a button-face strip.
    EXPECT_EQ(image.pixel(50, rowTop(1) + 5), palette.color(QPalette::Button).rgb());
}

TEST_F(GridPainting, MinMaxBarAndDotSitAtTheRightEdgeForTheLargestValue) {
    addHop({40});
    state.GraphScale = 40;
    options.ColorGraphs = false;
    options.GraphCurrentSample = false;
    const QImage image = render();
    const int x = graphLeft() + 118;
    const int ymid = rowTop(1) + H / 2;
    // The red dot covers the bar's spot; its tick pixels above and below are black or red.
    EXPECT_EQ(image.pixelColor(x, ymid), QColor(255, 0, 0));
    EXPECT_NE(image.pixelColor(x, ymid - 3), QColor(255, 0, 0));
}

// A hop whose samples carry their own microseconds.
THostInfo& addTimedHop(TraceState& state, std::initializer_list<qint32> microseconds) {
    THostInfo& hop = state.HopList.append();
    const SampleWindow window{0, static_cast<qint32>(microseconds.size()) - 1};
    for (qint32 us : microseconds) {
        SampleDetail detail;
        detail.roundTripUs = us;
        hop.AddSample(us / 1000, window, detail, QStringLiteral("10.0.0.1"));
    }
    return hop;
}

TEST_F(GridPainting, FractionsShowTheAverageAndCurrentToHundredths) {
    addTimedHop(state, {12300, 12400});  // mean 12.35 ms, current 12.40 ms
    addTimedHop(state, {7010, 192990});
    state.HopList.at(1).AddSample(LOST_SAMPLE, {0, 2});
    state.GraphScale = 100;
    options.ShowCurrentTime = true;
    grid.setColWidth(4, 120);

    // The cell as it should read, drawn with the grid's own font and text rules.
    const auto expectedCell = [&](const QString& average, const QString& current) {
        QImage image(grid.colWidth(4), H, QImage::Format_RGB32);
        QPainter p(&image);
        Canvas canvas(p, painter.savedFont());
        const CellRect cell{0, 0, grid.colWidth(4), H};
        canvas.setBrushColor(window());
        canvas.fillRect(cell);
        canvas.textRect(cell, 9, 2, average);
        CellRect R2 = cell;
        R2.left += canvas.textWidth(options.ShowFractions ? QStringLiteral("9999.99")
                                                          : QStringLiteral("9999")) +
                   18;
        canvas.setFontColor(QColor(0, 0, 255));
        canvas.textRect(R2, R2.left, 2, current);
        return image;
    };
    const auto paintedCell = [&](const QImage& image, int row) {
        return image.copy(grid.colLeft(4), rowTop(row), grid.colWidth(4), H);
    };

    QImage image = render();
    EXPECT_EQ(paintedCell(image, 1), expectedCell("12", "(12)"));
    EXPECT_EQ(paintedCell(image, 2), expectedCell("99", "(ERR)"));

    options.ShowFractions = true;
    image = render();
    EXPECT_EQ(paintedCell(image, 1), expectedCell("12.35", "(12.40)"));
    // A lost current sample still reads ERR; the mean keeps its fraction.
    EXPECT_EQ(paintedCell(image, 2), expectedCell("100.00", "(ERR)"));
}

TEST_F(GridPainting, FractionsPlaceTheMarksAtTheirMicroseconds) {
    // 0.5 and 1.5 ms: whole milliseconds say 0 and 1, so without fractions the dot sits at the
    // left edge; with them at the 1.0 ms mean, on a scale raised to the 2 ms that hold 1.5.
    addTimedHop(state, {500, 1500});
    state.GraphScale = 1;
    options.ColorGraphs = false;
    options.GraphCurrentSample = false;
    const int W = grid.colWidth(5) - 1;
    const int ymid = rowTop(1) + H / 2;
    const auto isRed = [](QColor c) { return c == QColor(255, 0, 0); };
    const auto isBlack = [](QColor c) { return c == QColor(0, 0, 0); };

    QImage image = render();
    EXPECT_TRUE(isRed(image.pixelColor(graphLeft(), ymid)));
    EXPECT_FALSE(isRed(image.pixelColor(graphLeft() + W / 2, ymid)));

    options.ShowFractions = true;
    image = render();
    EXPECT_TRUE(isRed(image.pixelColor(graphLeft() + W / 2, ymid)));
    EXPECT_FALSE(isRed(image.pixelColor(graphLeft() + 1, ymid)));
    // The bar runs from 0.5 to 1.5 ms of 2: a quarter to three quarters of the span, with ticks.
    const int xmin = graphLeft() + W / 4;
    const int xmax = graphLeft() + (3 * W) / 4;
    EXPECT_TRUE(isBlack(image.pixelColor(xmin, ymid - 1)));
    EXPECT_TRUE(isBlack(image.pixelColor(xmax, ymid - 1)));
    EXPECT_FALSE(isBlack(image.pixelColor(xmin - 2, ymid)));
    EXPECT_FALSE(isBlack(image.pixelColor(xmax + 2, ymid)));
    EXPECT_EQ(MicrosecondGraphScale(1, state.HopList), 2);
    EXPECT_EQ(MicrosecondGraphScale(5, state.HopList), 5);
}

TEST_F(GridPainting, UnreachableReasonRunsOnInTheMarkerRowOnlyWhenAsked) {
    addHop({4});
    THostInfo& marker = state.HopList.append();
    marker.DNSName = UNREACHABLE_NAME;
    marker.Unreachable = true;
    state.UnreachableFrom = QStringLiteral("10.0.3.1");
    state.UnreachableCode = 1;
    grid.setRowCount(3);
    const QImage plain = render();
    EXPECT_EQ(painter.rowDescription(2), QStringLiteral("hop 2, Destination Address Unreachable"));

    options.UnreachableReasons = true;
    const QImage reason = render();
    EXPECT_EQ(
        painter.rowDescription(2),
        QStringLiteral("hop 2, Destination Address Unreachable: host unreachable from 10.0.3.1"));
    // The message runs on over Avg Time and the graph; the rows above stay as they were.
    const QRect above(0, 0, 600, rowTop(2));
    EXPECT_EQ(reason.copy(above), plain.copy(above));
    EXPECT_NE(reason.copy(graphCell(2)), plain.copy(graphCell(2)));
    options.UnreachableReasons = false;
    EXPECT_EQ(render(), plain);
}

}  // namespace
}  // namespace hoplark

namespace hoplark {
namespace {

TEST(AddressCell, LongIPv6AddressesAreElidedInTheMiddleAndIPv4NeverIs) {
    QImage image(10, 10, QImage::Format_RGB32);
    QPainter p(&image);
    Canvas canvas(p, {QStringLiteral("Arial"), 8, Qt::black});
    const QString longest = QStringLiteral("ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff");
    const int width = AddressColumnWidth(true, canvas.textWidth(longest)) - 4;
    EXPECT_GT(width, 90);
    // The widest address fits whole; with a zone after it, it must give way in the middle.
    EXPECT_EQ(TraceCellPainter::ElideAddress(canvas, longest, width), longest);
    const QString zoned = longest + QStringLiteral("%enp0s31f6");
    const QString shown = TraceCellPainter::ElideAddress(canvas, zoned, width);
    EXPECT_LE(canvas.textWidth(shown), width);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("ffff:ffff:"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("enp0s31f6"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    // What fits is drawn whole; IPv4 text is never touched.
    EXPECT_EQ(TraceCellPainter::ElideAddress(canvas, QStringLiteral("fd00:99::2"), width),
              QStringLiteral("fd00:99::2"));
    EXPECT_EQ(TraceCellPainter::ElideAddress(canvas, QStringLiteral("255.255.255.255"), 5),
              QStringLiteral("255.255.255.255"));
    EXPECT_EQ(AddressColumnWidth(false, 500), 90);
}

}  // namespace
}  // namespace hoplark
