#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "view/Canvas.h"
#include "view/ColumnWidths.h"
#include "view/GraphPoints.h"

namespace hoplark {
namespace {

TEST(FitColumnWidths, SharesTwoThirdsToDnsNameAndTheRestToGraph) {
    const ColumnWidthArray start{35, 27, 90, 121, 55, 119};
    const int total = 35 + 27 + 90 + 121 + 55 + 119;
    struct Case {
        int extra, dnsGain, graphGain;
    };
    for (const Case& c :
         {Case{100, 67, 33}, Case{-1, -1, 0}, Case{2, 1, 1}, Case{0, 0, 0}, Case{-100, -67, -33}}) {
        const ColumnWidthArray fitted = FitColumnWidths(start, total + c.extra);
        EXPECT_EQ(fitted[3], 121 + c.dnsGain) << c.extra;
        EXPECT_EQ(fitted[5], 119 + c.graphGain) << c.extra;
        EXPECT_EQ(fitted[4], 55);
    }
}

TEST(ComputeGraphPoints, SilentHopsAreBridgedAndTheEndsDrawNothing) {
    HopTable table;
    const SampleWindow one{0, 0};
    for (qint32 sample : {LOST_SAMPLE, 20, LOST_SAMPLE, 60, LOST_SAMPLE}) {
        table.append().AddSample(sample, one);
    }
    const CellRect rect{100, 170, 219, 187};
    const int W = 118;
    const auto at = [&](qint32 v, int rowOffset) {
        return QPoint(LatencyToX(100, v, 100, W), 178 + rowOffset * 17);
    };
    // Before any replying hop: nothing.
    GraphPoints first = ComputeGraphPoints(0, rect, W, 17, 100, table);
    EXPECT_EQ(first.DotPoint.x(), 0);
    EXPECT_EQ(first.PrevPoint.x(), 0);
    EXPECT_EQ(first.CurPoint, at(20, 1));
    EXPECT_EQ(first.NextPoint.x(), 0);
    // The silent hop between: one segment from above to below, no dot.
    GraphPoints middle = ComputeGraphPoints(2, rect, W, 17, 100, table);
    EXPECT_EQ(middle.DotPoint.x(), 0);
    EXPECT_EQ(middle.CurPoint, at(20, -1));
    EXPECT_EQ(middle.NextPoint, at(60, 1));
    // After the last replying hop: no segment.
    GraphPoints last = ComputeGraphPoints(4, rect, W, 17, 100, table);
    EXPECT_EQ(last.PrevPoint.x(), 0);
    EXPECT_EQ(last.NextPoint.x(), 0);
    // A replying hop with neighbours on both sides.
    GraphPoints hop2 = ComputeGraphPoints(1, rect, W, 17, 100, table);
    EXPECT_EQ(hop2.DotPoint, at(20, 0));
    EXPECT_EQ(hop2.NextPoint, at(60, 2));
}

TEST(LatencyToX, TruncatesAndDoesNotClamp) {
    EXPECT_EQ(LatencyToX(10, 40, 40, 118), 128);
    EXPECT_EQ(LatencyToX(10, 1, 3, 118), 10 + 39);
    EXPECT_EQ(LatencyToX(10, 80, 40, 118), 10 + 236);
}

class CanvasDrawing : public ::testing::Test {
protected:
    CanvasDrawing() : image(40, 20, QImage::Format_RGB32) { image.fill(Qt::white); }
    QImage image;
};

TEST_F(CanvasDrawing, LinesCoverTheStartAndStopShortOfTheEnd) {
    {
        QPainter p(&image);
        Canvas canvas(p, {QStringLiteral("Arial"), 8, Qt::black});
        canvas.setPenColor(Qt::red);
        canvas.moveTo(5, 5);
        canvas.lineTo(10, 5);
        canvas.moveTo(20, 2);
        canvas.lineTo(20, 5);
        EXPECT_EQ(canvas.penPos(), QPoint(20, 5));
    }
    for (int x = 5; x < 10; ++x)
        EXPECT_EQ(image.pixelColor(x, 5), QColor(Qt::red)) << x;
    EXPECT_EQ(image.pixelColor(10, 5), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(20, 4), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(20, 5), QColor(Qt::white));
}

TEST_F(CanvasDrawing, FreeTextAdvancesThePenAndBrushColourMakesTheBrushSolid) {
    QPainter p(&image);
    Canvas canvas(p, {QStringLiteral("Arial"), 8, Qt::black});
    canvas.setBrushClear();
    canvas.textOut(2, 3, QStringLiteral("ab"));
    EXPECT_EQ(canvas.penPos(), QPoint(2 + canvas.textWidth(QStringLiteral("ab")), 3));
    EXPECT_TRUE(canvas.brushClear());
    canvas.setBrushColor(Qt::green);
    EXPECT_FALSE(canvas.brushClear());
    canvas.textRect({30, 0, 40, 20}, 30, 2, QString());
    p.end();
    EXPECT_EQ(image.pixelColor(35, 18), QColor(Qt::green));
}

}  // namespace
}  // namespace hoplark
