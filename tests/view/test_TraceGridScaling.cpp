// The grid at fractional device pixel ratios: every line keeps one weight along its whole length
// and in every row, and the latency line has no gaps, both painted into an image and through
// the real widget under QT_SCALE_FACTOR.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <cmath>
#include <set>

#include "view/GraphPoints.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;
constexpr int Scale = 100;

// One contiguous run of matching pixels along a line of the image; length 0 when none.
struct Run {
    int start = 0;
    int length = 0;
    bool operator==(const Run&) const = default;
};

// Where the cell area lies in an image: its logical origin and the device pixel ratio.
struct Placement {
    qreal ratio = 1;
    QPoint origin;
    int x(qreal logical) const { return int(std::lround(ratio * (origin.x() + logical))); }
    int y(qreal logical) const { return int(std::lround(ratio * (origin.y() + logical))); }
};

// The single run of `color` in column x between rows y0 and y1 (inclusive), or in row y between
// columns; a second run in the range counts as a break and fails the check.
Run verticalRun(const QImage& image, int x, int y0, int y1, QRgb color) {
    Run run;
    for (int y = y0; y <= y1; ++y) {
        if (image.pixel(x, y) != color) continue;
        if (run.length > 0 && run.start + run.length != y) {
            ADD_FAILURE() << "two runs in column " << x << " at " << run.start << " and " << y;
            break;
        }
        if (run.length == 0) run.start = y;
        ++run.length;
    }
    return run;
}

Run horizontalRun(const QImage& image, int y, int x0, int x1, QRgb color) {
    Run run;
    for (int x = x0; x <= x1; ++x) {
        if (image.pixel(x, y) != color) continue;
        if (run.length > 0 && run.start + run.length != x) {
            ADD_FAILURE() << "two runs in row " << y << " at " << run.start << " and " << x;
            break;
        }
        if (run.length == 0) run.start = x;
        ++run.length;
    }
    return run;
}

// Hops whose graph cells hold bars of three lengths around one average (a vertical latency
// line through three rows), then a slanted line, and one that bridges a silent hop.
class ScaledGrid {
public:
    ScaledGrid() : painter_([this]() -> const TraceState& { return state_; }, options_, grid) {
        options_.ColorGraphs = false;
        options_.GraphCurrentSample = false;
        state_.GraphScale = Scale;
        for (auto samples :
             {std::vector<qint32>{20, 80}, {30, 70}, {40, 60}, {90}, {LOST_SAMPLE}, {10}}) {
            THostInfo& hop = state_.HopList.append();
            const SampleWindow window{0, qint32(samples.size()) - 1};
            for (qint32 value : samples)
                hop.AddSample(value, window);
            hop.IP = QStringLiteral("10.0.0.%1").arg(hop.Hop);
        }
        grid.resize(600, 10 * H);
        grid.setRowCount(state_.HopList.count() + 1);
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter_.drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
    }

    QImage render(qreal ratio) {
        const QSize logical(grid.colLeft(TTraceGrid::ColCount) + 10, 8 * H);
        QImage image(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio),
                     QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::magenta);
        QPainter p(&image);
        grid.paintCells(p, logical.width(), logical.height());
        return image;
    }

    TTraceGrid grid;

private:
    TraceState state_;
    DisplayOptions options_;
    TraceCellPainter painter_;
};

// Saves an image for a look at it when HOPLARK_TEST_IMAGES names a folder.
void Keep(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("HOPLARK_TEST_IMAGES");
    if (!folder.isEmpty()) image.save(QDir(folder).filePath(name));
}

// Checks every line of the grid in `image`; `ratio` also gives the expected line weight.
void CheckLines(const QImage& image, const TTraceGrid& grid, const Placement& at) {
    const int t = std::max(1, int(std::lround(at.ratio)));
    const QPalette palette = grid.palette();
    const QRgb shadow = palette.color(QPalette::Dark).rgb();
    const QRgb highlight = palette.color(QPalette::Light).rgb();
    const QRgb black = qRgb(0, 0, 0);
    const QRgb red = qRgb(255, 0, 0);
    const int margin = 3 * t;

    // The header's edges: one run of each colour per scan line, at one place and of weight t
    // across all six cells.
    std::set<std::pair<int, int>> bottom, top;
    for (int col = 0; col < TTraceGrid::ColCount; ++col) {
        SCOPED_TRACE(col);
        const int left = at.x(grid.colLeft(col));
        const int right = at.x(grid.colLeft(col) + grid.colWidth(col));
        for (int x = left + margin; x < right - margin; ++x) {
            const Run b = verticalRun(image, x, at.y(H) - 4, at.y(H) - 1, shadow);
            const Run a = verticalRun(image, x, at.y(0), at.y(0) + 3, highlight);
            bottom.insert({b.start, b.length});
            top.insert({a.start, a.length});
        }
        std::set<std::pair<int, int>> rightEdge, leftEdge;
        for (int y = at.y(0) + margin; y < at.y(H) - margin; ++y) {
            const Run r = horizontalRun(image, y, right - 4, right - 1, shadow);
            const Run l = horizontalRun(image, y, left, left + 3, highlight);
            rightEdge.insert({r.start - right, r.length});
            leftEdge.insert({l.start - left, l.length});
        }
        EXPECT_EQ(rightEdge, (std::set<std::pair<int, int>>{{-t, t}}));
        EXPECT_EQ(leftEdge, (std::set<std::pair<int, int>>{{0, t}}));
    }
    EXPECT_EQ(bottom, (std::set<std::pair<int, int>>{{at.y(H) - t, t}}));
    EXPECT_EQ(top, (std::set<std::pair<int, int>>{{at.y(0), t}}));

    // The min-max bars of hops 1 to 3: unbroken, of weight t in each row; the dot and the
    // latency line at the average are left out.
    const auto latencyX = [&](qint32 ms) {
        return LatencyToX(grid.colLeft(5), ms, Scale, grid.colWidth(5) - 1);
    };
    const int dotHalf = int(std::ceil(3 * at.ratio)) + 1;
    const int avgX = at.x(latencyX(50) + 0.5);
    const std::pair<qint32, qint32> bars[] = {{20, 80}, {30, 70}, {40, 60}};
    for (int row = 1; row <= 3; ++row) {
        SCOPED_TRACE(row);
        const auto [low, high] = bars[row - 1];
        std::set<int> weights;
        for (int x = at.x(latencyX(low)) + margin; x < at.x(latencyX(high)) - margin; ++x) {
            if (std::abs(x - avgX) <= dotHalf) continue;
            const Run run = verticalRun(image, x, at.y(row * H), at.y((row + 1) * H) - 1, black);
            ASSERT_GT(run.length, 0) << "gap in the bar at x " << x;
            weights.insert(run.length);
        }
        EXPECT_EQ(weights, std::set<int>{t});
    }

    // The latency line down through rows 1 to 3, all at one average: straight, of weight t.
    std::set<std::pair<int, int>> vertical;
    for (int row = 1; row < 3; ++row) {
        for (int y = at.y(row * H + H / 2) + dotHalf; y < at.y((row + 1) * H + H / 2) - dotHalf;
             ++y) {
            const Run run = horizontalRun(image, y, avgX - dotHalf, avgX + dotHalf, red);
            vertical.insert({run.start, run.length});
        }
    }
    EXPECT_EQ(vertical.size(), 1u);
    EXPECT_EQ(vertical.begin()->second, t);

    // The slanted lines from hop 3 to 4 and across the silent hop 5 to 6: in every device row a
    // run touching the one above, and of nearly one width.
    const int graphLeft = at.x(grid.colLeft(5));
    const int graphRight = at.x(grid.colLeft(5) + grid.colWidth(5)) - 1;
    for (const auto& [fromRow, toRow] : {std::pair{3, 4}, std::pair{4, 6}}) {
        SCOPED_TRACE(fromRow);
        Run previous;
        std::set<int> lengths;
        for (int y = at.y(fromRow * H + H / 2) + dotHalf; y < at.y(toRow * H + H / 2) - dotHalf;
             ++y) {
            const Run run = horizontalRun(image, y, graphLeft, graphRight, red);
            ASSERT_GT(run.length, 0) << "gap in the line at y " << y;
            if (previous.length > 0) {
                EXPECT_LE(run.start, previous.start + previous.length) << y;
                EXPECT_GE(run.start + run.length, previous.start) << y;
            }
            lengths.insert(run.length);
            previous = run;
        }
        EXPECT_LE(*lengths.rbegin() - *lengths.begin(), 1);
    }
}

TEST(GridScaling, LinesKeepOneWeightAtEveryRatio) {
    for (qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        SCOPED_TRACE(ratio);
        ScaledGrid scaled;
        const QImage image = scaled.render(ratio);
        Keep(image, QStringLiteral("grid-%1.png").arg(ratio * 100));
        CheckLines(image, scaled.grid, {ratio, QPoint()});
    }
}

TEST(GridScaling, AreasKeepTheirLogicalPlaces) {
    // Cells fill from their scaled edges: the hop column's lime ends where its width does.
    for (qreal ratio : {1.25, 1.5, 1.75}) {
        SCOPED_TRACE(ratio);
        ScaledGrid scaled;
        const QImage image = scaled.render(ratio);
        const int lime = qRgb(0, 255, 0);
        const int y = int(std::lround((H + 2) * ratio));
        const int end = int(std::lround(scaled.grid.colWidth(0) * ratio));
        EXPECT_EQ(image.pixel(end - 1, y), QRgb(lime));
        EXPECT_NE(image.pixel(end, y), QRgb(lime));
        EXPECT_EQ(horizontalRun(image, y, 0, end + 5, lime).length, end);
    }
}

// Run by GridScaling.WidgetUnderAScaleFactor in a process of its own, as Qt reads the scale
// factor once at start-up; skipped when run without one.
TEST(GridScalingInside, GrabbedWindowHasEvenLines) {
    if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) GTEST_SKIP() << "needs QT_SCALE_FACTOR";
    const qreal ratio = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    // At an odd place in its window, so that the grid starts between device pixels.
    QWidget window;
    window.resize(700, 12 * H);
    ScaledGrid scaled;
    scaled.grid.setParent(&window);
    scaled.grid.move(7, 5);
    scaled.grid.resize(640, 10 * H);
    window.show();
    const QPixmap pixmap = window.grab();
    ASSERT_DOUBLE_EQ(pixmap.devicePixelRatio(), ratio);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    Keep(image, QStringLiteral("window-%1.png").arg(ratio * 100));
    const QPoint origin = scaled.grid.viewport()->mapTo(&window, QPoint(0, 0));
    CheckLines(image, scaled.grid, {ratio, origin});
}

TEST(GridScaling, WidgetUnderAScaleFactor) {
    QProcess inner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("1.5"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QStringLiteral(HOPLARK_BINARY_DIR "/tests/test_view"),
                {QStringLiteral("--gtest_filter=GridScalingInside.*")});
    ASSERT_TRUE(inner.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(inner.readAll());
    EXPECT_EQ(inner.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

}  // namespace
}  // namespace hoplark
