// UI-thread time of one sampling round in the main window late in a long trace: launching the
// round, merging its 35 results and completions as posted by the workers, and repainting the
// grid (rendered into an off-screen image), with a window of the last 10 rounds and with all
// rounds, after 10^4, 10^5 and 10^6 rounds of 35 hops.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <memory>

#include "BenchFakes.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
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
    void showStartupError(QWidget*, const QString&) override {}
    void showWorkerError(QWidget*, const QString&, std::function<void()>) override {}
};

// A window tracing 127.0.0.35, whose 34 routers and target answer every round.
class LongWindowTrace {
public:
    LongWindowTrace(const QString& settingsPath, const QString& sampleCount)
        : launcher_(std::make_shared<ChannelKeeper>()),
          form_(settingsPath, WindowServices{launcher_, std::make_shared<bench::LocalhostNames>(),
                                             std::make_shared<bench::FixedClock>(), nullptr,
                                             std::make_shared<SilentBoxes>()}),
          grid_(form_.drgrTrace->viewport()->size(), QImage::Format_RGB32) {
        form_.resize(form_.designSize());
        form_.editTraceCount->setText(QStringLiteral("0"));
        form_.editSampleCount->setText(sampleCount);
        form_.editDestination->setText(QStringLiteral("127.0.0.35"));
        form_.btnTraceClick();
        // The target lookup answers on its own thread.
        while (form_.session().isStarting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        merge();
    }

    // One round as the round timer launches it and the workers' messages arrive.
    void round() {
        form_.tmrTraceTimer();
        merge();
    }

    void repaint() { form_.drgrTrace->viewport()->render(&grid_); }

    const TraceState& state() const { return form_.traceState(); }

private:
    void merge() {
        const TraceId trace = form_.session().currentTrace();
        const std::shared_ptr<WorkerChannel>& channel = launcher_->channel();
        for (int hop = 1; hop <= HopTable::MaxHops; ++hop) {
            auto record = std::make_unique<THostInfo>(hop);
            record->IP = QStringLiteral("127.0.0.%1").arg(hop);
            record->AvgTime = static_cast<qint16>((hop * 7 + sequence_++) % 400);
            channel->post(new WorkerEvent(WM_HOPRESULT, trace, std::move(record)));
            channel->post(new WorkerEvent(WM_QUERYDONE, trace));
        }
        QCoreApplication::sendPostedEvents();
    }

    std::shared_ptr<ChannelKeeper> launcher_;
    TformMain form_;
    QImage grid_;
    int sequence_ = 0;
};

void BM_WindowRoundAfterLongTrace(benchmark::State& state) {
    const qint64 rounds = state.range(0);
    const bool all = state.range(1) == 0;
    // Settings come from a file of the benchmark's own (defaults while it does not exist).
    const QString settings = QStringLiteral("%1/bench_WindowRound.ini").arg(QDir::tempPath());
    LongWindowTrace trace(settings, all ? QStringLiteral("ALL") : QString::number(state.range(1)));
    for (qint64 i = 1; i < rounds; ++i)
        trace.round();
    for (auto _ : state) {
        trace.round();
        trace.repaint();
    }
    state.counters["hops"] = trace.state().HopList.count();
}

BENCHMARK(BM_WindowRoundAfterLongTrace)
    ->ArgsProduct({{10000, 100000, 1000000}, {10, 0}})
    ->ArgNames({"rounds", "window"})
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
