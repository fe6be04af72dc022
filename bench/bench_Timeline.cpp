// The timeline over a long trace: 10^5 rounds of 30 hops. The frame time of a real repaint of
// the whole widget at its size while scrolling, zoomed in (4 pixels a round), at a pixel a round
// and zoomed out to show every round at once.
#include <benchmark/benchmark.h>

#include "WidgetBenchMain.h"

#include <QPaintEvent>
#include <QTest>

#include "trace/TraceState.h"
#include "view/TimelineView.h"

namespace {

using namespace hoplark;

constexpr qint32 Rounds = 100'000;
constexpr int Hops = 30;

// Every hop answers with a latency that drifts with the round, with a loss now and then and a
// slow spell past both thresholds.
const TraceState& LongTrace() {
    static const TraceState state = [] {
        TraceState trace;
        trace.SamplesTaken = Rounds;
        trace.DestinationHop = Hops;
        for (int hop = 1; hop <= Hops; ++hop) {
            THostInfo& record = trace.HopList.append();
            record.IP = QStringLiteral("10.0.%1.1").arg(hop);
            record.Samples.reserve(Rounds);
            for (qint32 round = 1; round <= Rounds; ++round) {
                if ((round * 7 + hop * 13) % 97 == 0) {
                    record.Samples.push_back({LOST_SAMPLE, -1, SampleState::Lost});
                    continue;
                }
                qint32 ms = hop * 3 + (round * hop) % 23;
                if (round % 5000 < 200) ms += 400;
                record.Samples.push_back({ms, ms * 1000 + 17, SampleState::Answered});
            }
        }
        for (qint32 round = 0; round < Rounds; ++round)
            trace.RoundStartsUtcUs.push_back(1'800'000'000'000'000LL + round * 10'000'000LL);
        trace.Window = {Rounds - 10, Rounds - 1};
        return trace;
    }();
    return state;
}

// Counts the widget's paint events, so that a frame is known to be a real repaint.
class PaintCounter : public QObject {
public:
    qint64 count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

void BM_TimelineScrollFrame(benchmark::State& state) {
    const TraceState& trace = LongTrace();
    DisplayOptions options;
    TimelineView view([&trace]() -> const TraceState& { return trace; }, [] { return Hops; },
                      options);
    view.resize(900, 420);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        state.SkipWithError("the timeline was never shown");
        return;
    }
    PaintCounter paints;
    view.installEventFilter(&paints);
    view.setZoom(int(state.range(0)));
    view.refresh();
    view.scrollToColumn(0);
    qint64 column = 0;
    const qint64 step = 7;
    for (auto _ : state) {
        // A scroll by a few columns, then the widget's real repaint at its full size.
        column = (column + step) % std::max<qint64>(1, view.scale().columnCount(Rounds) - 700);
        view.scrollToColumn(column);
        view.repaint();
    }
    state.counters["paints/frame"] = double(paints.count) / double(state.iterations());
    state.counters["rounds/column"] = double(view.scale().roundsPerColumn());
    state.counters["columns shown"] = double(view.currentLayout().columnsShown(view.scale()));
}

BENCHMARK(BM_TimelineScrollFrame)
    ->Arg(2)
    ->Arg(0)
    ->Arg(-7)
    ->ArgName("zoom")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return hoplark::bench::RunWidgetBenchmarks(argc, argv);
}
