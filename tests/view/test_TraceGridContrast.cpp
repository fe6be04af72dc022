#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <map>

#include "view/DarkPalette.h"
#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

constexpr int H = TTraceGrid::DefaultRowHeight;

using testing::DarkPalette;

// The colour most pixels of an area have, and the pixel that stands out most against it: the
// background a text is drawn on and the text's own colour.
struct TextPixels {
    QColor background;
    QColor text;
};
TextPixels Inspect(const QImage& image, const QRect& area) {
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](auto a, auto b) { return a.second < b.second; });
    TextPixels result{QColor::fromRgb(most->first), QColor::fromRgb(most->first)};
    for (const auto& [rgb, count] : counts) {
        if (ContrastRatio(QColor::fromRgb(rgb), result.background) >
            ContrastRatio(result.text, result.background))
            result.text = QColor::fromRgb(rgb);
    }
    return result;
}

class GridContrast : public ::testing::TestWithParam<bool> {
protected:
    void paint(bool dark, bool colorGraphs) {
        if (dark) {
            grid.setPalette(DarkPalette());
            grid.setDrawingFont({QStringLiteral("Arial"), 8, DarkPalette().color(QPalette::Text)});
        }
        painter = std::make_unique<TraceCellPainter>(
            [this]() -> const TraceState& { return state; }, options, grid);
        grid.resize(620, 12 * H);
        grid.setColWidths({35, 27, 90, 121, 80, 237});
        options.ShowCurrentTime = true;
        options.ColorGraphs = colorGraphs;
        state.GraphScale = 1000;
        // Lime, lime, yellow, red, silent, then the unreachable mark.
        for (qint32 sample : {100, 150, 300, 700, LOST_SAMPLE, LOST_SAMPLE}) {
            THostInfo& hop = state.HopList.append();
            hop.AddSample(sample, {0, 0});
            hop.AddSample(LOST_SAMPLE, {0, 1});
            hop.IP = QStringLiteral("10.0.0.%1").arg(hop.Hop);
            hop.DNSName = QStringLiteral("core-%1.example").arg(hop.Hop);
        }
        state.HopList.last().Unreachable = true;
        state.HopList.last().DNSName = UNREACHABLE_NAME;
        grid.setRowCount(state.HopList.count() + 1);
        grid.setDrawCellHandler(
            [this](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
                painter->drgrTraceDrawCell(canvas, col, row, rect, fixed);
            });
        image = QImage(grid.colLeft(6), 8 * H, QImage::Format_RGB32);
        QPainter p(&image);
        grid.paintCells(p, image.width(), image.height());
    }

    QRect cell(int col, int row) const {
        return QRect(grid.colLeft(col), row * H, grid.colWidth(col), H).adjusted(1, 1, -1, -1);
    }

    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    std::unique_ptr<TraceCellPainter> painter;
    QImage image;
};

TEST(ContrastRatio, MatchesTheWcagFigures) {
    EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(ContrastRatio(Qt::white, Qt::white), 1.0, 0.01);
    EXPECT_NEAR(ContrastRatio(QColor(0, 0, 255), Qt::white), 8.59, 0.01);
    EXPECT_NEAR(ContrastRatio(QColor(255, 0, 0), Qt::black), 5.25, 0.01);
}

TEST_P(GridContrast, EveryTextOnADarkThemeReadsAtLeastFourAndAHalfToOne) {
    paint(true, GetParam());
    struct Text {
        const char* what;
        QRect area;
    };
    std::vector<Text> texts;
    for (int col = 0; col < 6; ++col)
        texts.push_back({"header", cell(col, 0)});
    const QRect curHeader = cell(4, 0);
    texts.push_back({"(Cur) in the header",
                     QRect(curHeader.left() + 22, curHeader.top(), 26, curHeader.height())});
    for (int row = 1; row <= 6; ++row) {
        for (int col = 0; col < 4; ++col) {
            if (row == 6 && col != 3) continue;  // the unreachable row only names itself
            if (col == 1 && row == 6) continue;
            texts.push_back({"hop text", cell(col, row)});
        }
        if (row < 6) {
            const QRect avg = cell(4, row);
            texts.push_back({"average", QRect(avg.left(), avg.top(), 30, avg.height())});
            texts.push_back({"current time",
                             QRect(avg.left() + 40, avg.top(), avg.width() - 40, avg.height())});
        }
    }
    const QRect graph = cell(5, 1);
    texts.push_back({"scale label 0", QRect(graph.left() + 2, graph.top(), 10, 7)});
    texts.push_back({"scale label 1000", QRect(graph.right() - 24, graph.top(), 22, 7)});

    for (const Text& text : texts) {
        const TextPixels pixels = Inspect(image, text.area);
        const double ratio = ContrastRatio(pixels.text, pixels.background);
        EXPECT_GE(ratio, 4.5) << text.what << " at " << text.area.x() << "," << text.area.y()
                              << ": " << pixels.text.name().toStdString() << " on "
                              << pixels.background.name().toStdString();
        EXPECT_GT(ratio, 1.0) << text.what << " drew nothing";
    }
}

TEST_P(GridContrast, ADarkThemeKeepsTheFixedColoursAndBlackTextOnThem) {
    paint(true, GetParam());
    // Hop cells keep lime, yellow and red, with black numbers as on a light theme.
    const QColor hopColours[] = {QColor(0, 255, 0), QColor(0, 255, 0), QColor(255, 255, 0),
                                 QColor(255, 0, 0)};
    for (int row = 1; row <= 4; ++row) {
        const TextPixels pixels = Inspect(image, cell(0, row));
        EXPECT_EQ(pixels.background, hopColours[row - 1]) << row;
        EXPECT_LT(pixels.text.lightness(), 24) << row;  // black, but for smoothed edges
    }
    // Colours given by system role follow the theme.
    EXPECT_EQ(Inspect(image, cell(2, 1)).background, QColor(42, 42, 42));
    EXPECT_GT(Inspect(image, cell(2, 1)).text.lightness(), 230);
    if (GetParam()) {
        EXPECT_EQ(Inspect(image, cell(3, 6)).background, TraceCellPainter::UnreachableColor);
        EXPECT_EQ(image.pixelColor(cell(5, 2).left() + 1, cell(5, 2).top() + 1),
                  TraceCellPainter::BandNormalColor);
    }
    // The current time is a light blue.
    const QRect avg = cell(4, 1);
    const QColor current =
        Inspect(image, QRect(avg.left() + 40, avg.top(), avg.width() - 40, avg.height())).text;
    EXPECT_GT(current.blue(), current.red());
    EXPECT_GT(current.lightness(), 128);
}

TEST(GridContrastLight, ALightThemeKeepsEveryColourAsItWas) {
    TraceState state;
    DisplayOptions options;
    options.ShowCurrentTime = true;
    TTraceGrid grid;
    TraceCellPainter painter([&]() -> const TraceState& { return state; }, options, grid);
    state.GraphScale = 1000;
    THostInfo& hop = state.HopList.append();
    hop.AddSample(500, {0, 0});
    grid.setRowCount(2);
    grid.setDrawCellHandler(
        [&](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
            painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
        });
    QImage image(grid.colLeft(6), 3 * H, QImage::Format_RGB32);
    QPainter p(&image);
    grid.paintCells(p, image.width(), image.height());
    const QRect avg(grid.colLeft(4) + 40, H + 1, 38, H - 2);
    const QColor blue = Inspect(image, avg).text;
    EXPECT_TRUE(blue.blue() > 240 && blue.red() < 40 && blue.green() < 40)
        << blue.name().toStdString();
    // The labels keep their green, lightened only by smoothing on the light band.
    const QRect label(grid.colLeft(5) + 3, H, 10, 7);
    const QColor green = Inspect(image, label).text;
    EXPECT_TRUE(green.green() >= 128 && green.green() < 180 && green.red() < 80 &&
                green.blue() < 80)
        << green.name().toStdString();
}

TEST(GridTheme, FollowsTheApplicationPaletteWhileOpen) {
    const QPalette original = QApplication::palette();
    TraceState state;
    DisplayOptions options;
    options.ShowCurrentTime = true;
    state.GraphScale = 1000;
    THostInfo& hop = state.HopList.append();
    hop.AddSample(100, {0, 0});
    hop.IP = QStringLiteral("10.0.0.1");
    TTraceGrid grid;
    grid.resize(640, 4 * H);
    grid.setRowCount(2);
    TraceCellPainter painter([&]() -> const TraceState& { return state; }, options, grid);
    grid.setDrawCellHandler(
        [&](Canvas& canvas, int col, int row, const CellRect& rect, bool fixed) {
            painter.drgrTraceDrawCell(canvas, col, row, rect, fixed);
        });
    grid.setRowSignatureHandler(
        [&](int row, const CellRect& rowRect) { return painter.rowSignature(row, rowRect); });
    const auto paint = [&grid] {
        QImage image(grid.colLeft(6), 3 * H, QImage::Format_RGB32);
        QPainter p(&image);
        grid.paintCells(p, image.width(), image.height());
        return image;
    };
    const QRect ip(grid.colLeft(2) + 1, H + 1, grid.colWidth(2) - 2, H - 2);
    const QRect hopCell(1, H + 1, grid.colWidth(0) - 2, H - 2);
    const QRect current(grid.colLeft(4) + 40, H + 1, grid.colWidth(4) - 42, H - 2);
    const QImage light = paint();
    EXPECT_EQ(Inspect(light, ip).background, original.color(QPalette::Base));
    grid.takeChangedRows();
    EXPECT_TRUE(grid.takeChangedRows().isEmpty());

    // The change reaches the widgets through the event loop, as on a desktop.
    QApplication::setPalette(DarkPalette());
    QCoreApplication::sendPostedEvents();
    // No row counts as painted in the old colours.
    const QRegion changed = grid.takeChangedRows();
    EXPECT_TRUE(changed.contains(QPoint(5, 5)) && changed.contains(QPoint(5, H + 5)));
    const QImage dark = paint();
    const TextPixels address = Inspect(dark, ip);
    EXPECT_EQ(address.background, QColor(42, 42, 42));
    EXPECT_GE(ContrastRatio(address.text, address.background), 4.5);
    EXPECT_GT(address.text.lightness(), 230);
    EXPECT_EQ(Inspect(dark, hopCell).background, QColor(0, 255, 0));
    EXPECT_LT(Inspect(dark, hopCell).text.lightness(), 24);
    const TextPixels time = Inspect(dark, current);
    EXPECT_GE(ContrastRatio(time.text, time.background), 4.5);
    EXPECT_GT(time.text.blue(), time.text.red());
    EXPECT_EQ(dark.pixelColor(3, 0), QColor(90, 90, 90));  // the header's highlight

    // And back: pixel for pixel what the light theme painted before.
    QApplication::setPalette(original);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(paint(), light);
}

INSTANTIATE_TEST_SUITE_P(BandsOnAndOff, GridContrast, ::testing::Bool());

}  // namespace
}  // namespace hoplark
