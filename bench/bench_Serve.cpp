// The serving mode's costs: the sessions' thread's work per 1 s round for 20 targets of 12 hops
// (every round launched, its results merged and tallied, the figures published), beside the
// same rounds as the report mode runs them (no tally, no publishing); and one scrape of
// /metrics for those 20 targets, over loopback HTTP from the server's own thread.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <memory>
#include <vector>

#include "BenchFakes.h"
#include "CoreBenchMain.h"
#include "export/MetricsWriter.h"
#include "serve/FleetBoard.h"
#include "serve/ServeRoutes.h"
#include "serve/ServerThread.h"
#include "serve/TargetTally.h"
#include "trace/TraceSession.h"

namespace {

using namespace hoplark;

constexpr int Targets = 20;
constexpr int Hops = 12;
constexpr int WarmUpRounds = 60;

class NullLauncher : public ProbeLauncher {
public:
    void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
};

// One target's trace with rounds driven by hand: hop k answers from 10.k.0.1, the destination
// is hop 12, every hop answers except one in 50 probes of hop 5.
class ServedTrace {
public:
    ServedTrace(int slot, FleetBoard* board) : slot_(slot), board_(board), tally_(target()) {
        session_.editSampleCountChange(QStringLiteral("60"));
        session_.channel()->setWakeOnlyWhenIdle(true);
        if (board_) session_.setObserver(&tally_);
        session_.StartTrace(target());
        while (session_.isStarting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        session_.StopTrace();
    }

    QString target() const { return QStringLiteral("10.200.%1.%2").arg(slot_).arg(Hops); }

    void round() {
        session_.DoTrace();
        for (int hop = 1; hop <= Hops; ++hop) {
            auto record = std::make_unique<THostInfo>(hop);
            const bool lost = hop == 5 && sequence_ % 50 == 0;
            record->IP = lost          ? QString()
                         : hop == Hops ? target()
                                       : QStringLiteral("10.%1.0.1").arg(hop);
            record->AvgTime = lost ? LOST_SAMPLE : static_cast<qint16>(hop * 3);
            record->Detail.roundTripUs = lost ? -1 : hop * 3000 + sequence_ % 700;
            record->Detail.round = session_.state().SamplesTaken;
            ++sequence_;
            session_.channel()->post(
                new WorkerEvent(WM_HOPRESULT, session_.currentTrace(), std::move(record)));
            session_.channel()->post(new WorkerEvent(WM_QUERYDONE, session_.currentTrace()));
        }
        session_.channel()->deliverPending();
        QCoreApplication::sendPostedEvents();
        if (board_) board_->publish(slot_, tally_.metrics(session_.state(), session_.shownHops()));
    }

private:
    int slot_;
    FleetBoard* board_;
    NullLauncher launcher_;
    bench::LocalhostNames names_;
    bench::FixedClock clock_;
    TraceSession session_{launcher_, names_, clock_};
    TargetTally tally_;
    int sequence_ = 0;
};

std::vector<std::unique_ptr<ServedTrace>> fleet(FleetBoard* board) {
    std::vector<std::unique_ptr<ServedTrace>> traces;
    for (int slot = 0; slot < Targets; ++slot)
        traces.push_back(std::make_unique<ServedTrace>(slot, board));
    for (int r = 0; r < WarmUpRounds; ++r)
        for (auto& trace : traces)
            trace->round();
    return traces;
}

// One 1 s round of every target; `served` adds the tally and the publishing.
void roundOfEveryTarget(benchmark::State& state, bool served) {
    FleetBoard board(Targets);
    auto traces = fleet(served ? &board : nullptr);
    for (auto _ : state)
        for (auto& trace : traces)
            trace->round();
    state.counters["probes_per_round"] = Targets * Hops;
    state.counters["us_per_probe"] = benchmark::Counter(
        double(state.iterations()) * Targets * Hops,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

void BM_ServeRound20Targets(benchmark::State& state) {
    roundOfEveryTarget(state, true);
}
void BM_ReportRound20Targets(benchmark::State& state) {
    roundOfEveryTarget(state, false);
}
BENCHMARK(BM_ServeRound20Targets)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReportRound20Targets)->Unit(benchmark::kMicrosecond);

// The text alone, as the server's thread writes it for each scrape.
void BM_MetricsText20Targets(benchmark::State& state) {
    FleetBoard board(Targets);
    auto traces = fleet(&board);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            MetricsWriter(MetricsWriter::Format::Prometheus, QStringLiteral("bench"))
                .write(board.metrics()));
}
BENCHMARK(BM_MetricsText20Targets)->Unit(benchmark::kMillisecond);

// GET /metrics over loopback for 20 targets, the answer read whole.
void BM_Scrape20Targets(benchmark::State& state) {
    FleetBoard board(Targets);
    auto traces = fleet(&board);
    QObject sessions;
    ServeRoutes routes(board, {&sessions, [](const auto&) { return std::vector<TraceDocument>(); }},
                       QStringLiteral("bench"));
    ServerThread server(
        [&routes](const HttpRequest& request, HttpReply reply) { routes.handle(request, reply); });
    routes.setReplyContext(server.context());
    if (server.listen(QHostAddress(QHostAddress::LocalHost), 0)) {
        state.SkipWithError("cannot listen on loopback");
        return;
    }
    const bool openMetrics = state.range(0) == 1;
    qint64 bytes = 0;
    for (auto _ : state) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), server.port());
        socket.waitForConnected();
        socket.write(openMetrics ? "GET /metrics HTTP/1.1\r\nAccept: "
                                   "application/openmetrics-text;version=1.0.0\r\n\r\n"
                                 : "GET /metrics HTTP/1.1\r\n\r\n");
        QByteArray answer;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead())
            answer += socket.readAll();
        answer += socket.readAll();
        bytes = answer.size();
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_Scrape20Targets)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("openmetrics")
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return hoplark::bench::RunCoreBenchmarks(argc, argv);
}
