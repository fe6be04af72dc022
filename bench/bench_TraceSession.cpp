// UI-thread time of one sampling round in a long trace: launching the round (which moves the
// statistics window) and merging its 35 results and completions, with a window of the last 10
// rounds and with all rounds, after 10^4, 10^5 and 10^6 rounds of 35 hops.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <memory>

#include "BenchFakes.h"
#include "CoreBenchMain.h"
#include "trace/TraceSession.h"

namespace {

using namespace hoplark;

class NullLauncher : public ProbeLauncher {
public:
    void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
};

// A trace to 127.0.0.35 whose 34 routers and target answer every round.
class LongTrace {
public:
    explicit LongTrace(const QString& sampleCount) {
        session_.editSampleCountChange(sampleCount);
        session_.StartTrace(QStringLiteral("127.0.0.35"));
        // The target lookup answers on its own thread.
        while (session_.isStarting())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        session_.StopTrace();  // rounds are driven by hand, not by the timer
        merge();
    }

    // One round: launch, then every hop's result and completion as the workers deliver them.
    void round() {
        session_.DoTrace();
        merge();
    }

    const TraceSession& session() const { return session_; }

private:
    void merge() {
        for (int hop = 1; hop <= HopTable::MaxHops; ++hop) {
            auto record = std::make_unique<THostInfo>(hop);
            record->IP = QStringLiteral("127.0.0.%1").arg(hop);
            record->AvgTime = static_cast<qint16>((hop * 7 + sequence_++) % 400);
            WorkerEvent result(WM_HOPRESULT, session_.currentTrace(), std::move(record));
            QCoreApplication::sendEvent(&session_, &result);
            WorkerEvent done(WM_QUERYDONE, session_.currentTrace());
            QCoreApplication::sendEvent(&session_, &done);
        }
        // The rescale at the round's end, delivered as the event loop does (for every receiver:
        // a per-receiver delivery leaves spent entries in the queue).
        QCoreApplication::sendPostedEvents();
    }

    NullLauncher launcher_;
    bench::LocalhostNames names_;
    bench::FixedClock clock_;
    TraceSession session_{launcher_, names_, clock_};
    int sequence_ = 0;
};

void BM_RoundAfterLongTrace(benchmark::State& state) {
    const qint64 rounds = state.range(0);
    const bool all = state.range(1) == 0;
    LongTrace trace(all ? QStringLiteral("ALL") : QString::number(state.range(1)));
    for (qint64 i = 1; i < rounds; ++i)
        trace.round();
    for (auto _ : state)
        trace.round();
    state.counters["hops"] = trace.session().state().HopList.count();
}

BENCHMARK(BM_RoundAfterLongTrace)
    ->ArgsProduct({{10000, 100000, 1000000}, {10, 0}})
    ->ArgNames({"rounds", "window"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return hoplark::bench::RunCoreBenchmarks(argc, argv);
}
