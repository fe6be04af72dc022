// UI-thread CPU of one sampling round in a shown main window, as a round really arrives: the
// round timer launches it, then each of the 35 hops' result and completion comes on its own
// (the workers start 25 ms apart), and each one's coalesced repaint runs before the next
// arrives. Every repaint of the grid is counted. Measured late in long traces (10^3 and 10^4
// rounds of 35 hops) with a window of the last 10 rounds and with all rounds, once with the
// window minimised, and once with the timeline shown under the grid.
#include <benchmark/benchmark.h>

#include "WidgetBenchMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTest>
#include <memory>

#include "BenchFakes.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/TimelinePane.h"
#include "app/ViewMenu.h"
#include "trace/HostInfo.h"

namespace {

using namespace hoplark;

// Workers that never run: the benchmark posts their messages itself, through the same channel.
class ChannelKeeper : public ProbeLauncher {
public:
    void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>& channel) override {
        channel_ = channel;
    }
    const std::shared_ptr<WorkerChannel>& channel() const { return channel_; }

private:
    std::shared_ptr<WorkerChannel> channel_;
};

class SilentBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString&) override {}
    void showErrorWithPath(QWidget*, const QString&, const QString&) override {}
    void showStartupError(QWidget*, const QString&) override {}
    void showWorkerError(QWidget*, const QString&, std::function<void()>) override {}
};

// Counts the grid's paint events and the area they cover.
class PaintCounter : public QObject {
public:
    qint64 paints = 0;
    qint64 paintedPixels = 0;
    void reset() { paints = paintedPixels = 0; }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region())
                paintedPixels += qint64(rect.width()) * rect.height();
        }
        return false;
    }
};

// A shown window tracing 127.0.0.35, whose 34 routers and target answer every round.
class LongWindowTrace {
public:
    LongWindowTrace(const QString& settingsPath, const QString& sampleCount, bool timeline)
        : launcher_(std::make_shared<ChannelKeeper>()),
          form_(settingsPath, WindowServices{launcher_, std::make_shared<bench::LocalhostNames>(),
                                             std::make_shared<bench::FixedClock>(), nullptr,
                                             std::make_shared<SilentBoxes>()}) {
        form_.move(0, 0);
        form_.resize(form_.designSize());
        form_.timelinePane().setTimelineShown(timeline);
        if (timeline) form_.resize(form_.width(), form_.height() + 300);
        form_.show();
        (void)QTest::qWaitForWindowExposed(&form_);
        form_.editTraceCount->setText(QStringLiteral("0"));
        form_.editSampleCount->setText(sampleCount);
        form_.editDestination->setText(QStringLiteral("127.0.0.35"));
        form_.btnTraceClick();
        // The target lookup answers on its own thread.
        while (form_.session().isStarting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        mergeAll();
        form_.drgrTrace->viewport()->installEventFilter(&counter_);
    }

    // The "Like mtr" statistics columns beside the grid's own.
    void showStatisticsColumns() { form_.SetStatisticsColumns(LikeMtrColumns()); }

    // Many rounds at once, each hop's repaint left to coalesce: to reach a long trace quickly.
    void fastRound() {
        form_.tmrTraceTimer();
        mergeAll();
    }

    // One round as it arrives: every hop's messages on their own, each followed by its repaint.
    void round() {
        form_.tmrTraceTimer();
        const TraceId trace = form_.session().currentTrace();
        for (int hop = 1; hop <= HopTable::MaxHops; ++hop) {
            postHop(trace, hop);
            QCoreApplication::sendPostedEvents();
            waitForRefresh();
        }
    }

    void minimise() {
        form_.showMinimized();
        QCoreApplication::processEvents();
    }

    const TraceState& state() const { return form_.traceState(); }
    PaintCounter& counter() { return counter_; }

private:
    void postHop(TraceId trace, int hop) {
        auto record = std::make_unique<THostInfo>(hop);
        record->IP = QStringLiteral("127.0.0.%1").arg(hop);
        record->AvgTime = static_cast<qint16>((hop * 7 + sequence_++) % 400);
        const std::shared_ptr<WorkerChannel>& channel = launcher_->channel();
        channel->post(new WorkerEvent(WM_HOPRESULT, trace, std::move(record)));
        channel->post(new WorkerEvent(WM_QUERYDONE, trace));
    }

    void mergeAll() {
        const TraceId trace = form_.session().currentTrace();
        for (int hop = 1; hop <= HopTable::MaxHops; ++hop)
            postHop(trace, hop);
        QCoreApplication::sendPostedEvents();
        waitForRefresh();
    }

    // The 1 ms refresh timer's expiry and whatever it paints; sleeping costs no CPU.
    void waitForRefresh() {
        QElapsedTimer waited;
        waited.start();
        while (form_.tmrRefresh->isActive() && waited.elapsed() < 100) {
            QTest::qSleep(1);
            QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
    }

    std::shared_ptr<ChannelKeeper> launcher_;
    TformMain form_;
    PaintCounter counter_;
    int sequence_ = 0;
};

void BM_WindowRound(benchmark::State& state) {
    const qint64 rounds = state.range(0);
    const bool all = state.range(1) == 0;
    const bool minimised = state.range(2) != 0;
    const bool timeline = state.range(3) != 0;
    const bool columns = state.range(4) != 0;
    // Settings come from a file of the benchmark's own (defaults while it does not exist).
    const QString settings = QStringLiteral("%1/bench_WindowRound.ini").arg(QDir::tempPath());
    LongWindowTrace trace(settings, all ? QStringLiteral("ALL") : QString::number(state.range(1)),
                          timeline);
    for (qint64 i = 1; i < rounds; ++i)
        trace.fastRound();
    if (columns) trace.showStatisticsColumns();
    if (minimised) trace.minimise();
    trace.counter().reset();
    for (auto _ : state)
        trace.round();
    const double iterations = static_cast<double>(state.iterations());
    state.counters["hops"] = trace.state().HopList.count();
    state.counters["repaints/round"] = static_cast<double>(trace.counter().paints) / iterations;
    state.counters["kpixels/round"] =
        static_cast<double>(trace.counter().paintedPixels) / iterations / 1000.0;
}

// CPU time is the measure: the waits for the refresh timer sleep.
BENCHMARK(BM_WindowRound)
    ->ArgsProduct({{1000, 10000}, {10, 0}, {0}, {0}, {0, 1}})
    ->Args({10000, 10, 1, 0, 0})
    ->Args({10000, 10, 0, 1, 0})
    ->ArgNames({"rounds", "window", "minimised", "timeline", "columns"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
    return hoplark::bench::RunWidgetBenchmarks(argc, argv);
}
