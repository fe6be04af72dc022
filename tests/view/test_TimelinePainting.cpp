// The timeline's pictures: threshold colours, loss marks, blank pending rounds, the destination's
// loss and the statistics band, on light and dark palettes at 1.0 and 1.5 scale; the columns of
// a zoomed-out view; the tool tip's times and values.
#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEvent>
#include <QTest>

#include "view/DarkPalette.h"
#include "view/TimelineView.h"

namespace hoplark {
namespace {

QPalette LightPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Highlight, QColor(48, 140, 198));
    return palette;
}

using testing::DarkPalette;

HopSample Answer(qint32 ms) {
    return {ms, ms * 1000, SampleState::Answered};
}
HopSample Loss() {
    return {LOST_SAMPLE, -1, SampleState::Lost};
}

constexpr qint64 FirstRoundUtcUs = 1'800'000'000'000'000;

// 20 rounds a minute apart over three hops: hop 1 fast, hop 2 past the warning threshold and
// lost in round 5, hop 3 (the destination) past the bad threshold, lost in round 7 and still
// out in round 20. The statistics window spans rounds 15 to 18.
TraceState SampleTrace() {
    TraceState state;
    state.SamplesTaken = 20;
    for (int hop = 1; hop <= 3; ++hop) {
        THostInfo& record = state.HopList.append();
        record.IP = QStringLiteral("10.0.0.%1").arg(hop);
        for (int round = 1; round <= 20; ++round) {
            const qint32 ms = hop == 1 ? 10 : hop == 2 ? 300 : 700;
            record.Samples.push_back(Answer(ms));
        }
    }
    state.HopList.at(1).Samples[4] = Loss();
    state.HopList.at(2).Samples[6] = Loss();
    state.HopList.at(2).Samples[19] = {0, -1, SampleState::Pending};
    state.DestinationHop = 3;
    for (int round = 0; round < 20; ++round)
        state.RoundStartsUtcUs.push_back(FirstRoundUtcUs + round * 60'000'000LL);
    state.Window = {14, 17};
    return state;
}

struct Look {
    const char* name;
    QPalette palette;
    qreal ratio;
};

class TimelinePainting : public ::testing::TestWithParam<Look> {
protected:
    TimelinePainting()
        : view([this]() -> const TraceState& { return state; }, [] { return 3; }, options) {
        view.setPalette(GetParam().palette);
        view.resize(700, 260);
        view.show();
        view.refresh();
    }

    QImage picture() const { return view.image(GetParam().ratio); }
    QColor at(const QImage& image, const QPoint& logical) const {
        // The device pixel inside the logical one, also where 1.5 splits pixels unevenly.
        const qreal ratio = GetParam().ratio;
        return image.pixelColor(int((logical.x() + 0.5) * ratio), int((logical.y() + 0.5) * ratio));
    }
    QColor cell(const QImage& image, qint64 round, int lane) const {
        const QRect rect = view.cellRect(round, lane);
        EXPECT_FALSE(rect.isEmpty()) << "round " << round << " lane " << lane;
        return at(image, rect.center());
    }
    QColor base() const { return GetParam().palette.color(QPalette::Base); }
    QColor text() const { return GetParam().palette.color(QPalette::Text); }

    TraceState state = SampleTrace();
    DisplayOptions options;
    TimelineView view;
};

TEST_P(TimelinePainting, CellsTakeTheThresholdColoursAndLossStandsOut) {
    const QImage image = picture();
    const QColor fast = cell(image, 3, 0);
    const QColor slow = cell(image, 3, 1);
    const QColor bad = cell(image, 3, 2);
    EXPECT_GT(fast.green(), fast.red() + 60) << fast.name().toStdString();
    EXPECT_GT(fast.green(), fast.blue() + 60) << fast.name().toStdString();
    EXPECT_GT(slow.red(), slow.blue() + 100) << slow.name().toStdString();
    EXPECT_LT(std::abs(slow.red() - slow.green()), 40) << slow.name().toStdString();
    EXPECT_GT(bad.red(), bad.green() + 100) << bad.name().toStdString();
    EXPECT_GT(bad.red(), bad.blue() + 100) << bad.name().toStdString();
    EXPECT_EQ(cell(image, 3, 1), TimelinePainter::latencyColor(300, options, base()));

    // Loss takes the text colour, which no latency has; a probe still out stays blank.
    EXPECT_EQ(cell(image, 5, 1), text());
    EXPECT_EQ(cell(image, 7, 2), text());
    EXPECT_EQ(cell(image, 20, 2), base());
    for (double ms : {0.0, 100.0, 200.0, 350.0, 500.0, 900.0})
        EXPECT_NE(TimelinePainter::latencyColor(ms, options, base()), text()) << ms;

    // The destination's loss rises from the lane's foot in its round only.
    const TimelinePainter::Layout layout = view.currentLayout();
    const int foot = layout.lossLane.bottom() - 1;
    EXPECT_EQ(at(image, {view.cellRect(7, 0).center().x(), foot}), text());
    EXPECT_EQ(at(image, {view.cellRect(6, 0).center().x(), foot}), base());

    // The statistics band's bar runs over its rounds and no further.
    const int bar = layout.plot.top() - 2;
    const QColor band = GetParam().palette.color(QPalette::Highlight);
    EXPECT_EQ(at(image, {view.cellRect(16, 0).center().x(), bar}), band);
    EXPECT_NE(at(image, {view.cellRect(12, 0).center().x(), bar}), band);
}

TEST_P(TimelinePainting, AZoomedOutColumnShowsItsWorstAnswerOverItsShareOfLoss) {
    view.setZoom(-2);  // four rounds a column: rounds 5 to 8 share one
    ASSERT_EQ(view.scale().roundsPerColumn(), 4);
    const QImage image = picture();
    const QRect rect = view.cellRect(5, 1);
    const QColor top = at(image, {rect.center().x(), rect.top() + 1});
    EXPECT_EQ(top, TimelinePainter::latencyColor(300, options, base()));
    const int cellBottom = rect.top() + view.currentLayout().laneHeight - 2;
    EXPECT_EQ(at(image, {rect.center().x(), cellBottom}), text());
}

INSTANTIATE_TEST_SUITE_P(Looks, TimelinePainting,
                         ::testing::Values(Look{"light", LightPalette(), 1.0},
                                           Look{"dark", DarkPalette(), 1.0},
                                           Look{"light15", LightPalette(), 1.5},
                                           Look{"dark15", DarkPalette(), 1.5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TimelineToolTip, NamesTheRoundsTimeInUtcAndLocallyAndEveryHopsValue) {
    TraceState state = SampleTrace();
    DisplayOptions options;
    TimelineView view([&state]() -> const TraceState& { return state; }, [] { return 3; }, options);
    view.resize(700, 260);
    view.show();
    view.refresh();
    const QString tip = view.toolTipAt(view.cellRect(5, 1).center());
    EXPECT_TRUE(tip.contains(QStringLiteral("Round 5"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("2027-01-15 08:04:00 UTC"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("local"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("10 ms"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("lost"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QStringLiteral("700 ms"))) << tip.toStdString();
    // Outside the rounds there is nothing to tell.
    EXPECT_TRUE(view.toolTipAt(QPoint(2, 2)).isEmpty());
}

// Collects the area of the widget's paint events.
class PaintedArea : public QObject {
public:
    QRegion region;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

TEST(TimelineRefresh, AResultRepaintsItsColumnsAndAnotherTraceTheWholeView) {
    TraceState state = SampleTrace();
    state.TargetAddress = QStringLiteral("10.0.0.3");
    DisplayOptions options;
    TimelineView view([&state]() -> const TraceState& { return state; }, [] { return 3; }, options);
    view.resize(700, 260);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    PaintedArea painted;
    view.installEventFilter(&painted);
    view.refresh();
    view.update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.region.isEmpty(); }, 5000));
    painted.region = {};

    // The probe still out in round 20 is answered: its column repaints, old rounds do not.
    state.HopList.at(2).Samples[19] = Answer(700);
    view.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.region.isEmpty(); }, 5000));
    EXPECT_TRUE(painted.region.contains(view.cellRect(20, 2)));
    EXPECT_FALSE(painted.region.intersects(view.cellRect(3, 0)));

    // A stored trace of as many rounds takes the place of this one: everything repaints.
    painted.region = {};
    state.TargetAddress = QStringLiteral("10.0.0.9");
    view.refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !painted.region.isEmpty(); }, 5000));
    EXPECT_TRUE(painted.region.contains(view.cellRect(3, 0)));
}

}  // namespace
}  // namespace hoplark
