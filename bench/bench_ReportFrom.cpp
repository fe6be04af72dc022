// The report's output of a stored trace (what `--from FILE` prints once the recording is read)
// in each form, for 10^4, 10^5 and 10^6 probes over 30 hops, written to /dev/null. The JSON form
// carries every sample; it is written as it goes, so its memory stays that of the table. The
// "peak_rss_mb" counter is the process's peak resident size after the run, which only grows:
// run one size and form per process (--benchmark_filter) to read it for that case alone.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <QFile>

#include "export/ReportFormatter.h"
#include "trace/HopMerge.h"

namespace {

using namespace hoplark;

constexpr int Hops = 30;

TraceState storedTrace(qint64 probes) {
    TraceState state;
    const auto rounds = static_cast<qint32>(probes / Hops);
    state.TargetAddress = QStringLiteral("10.9.0.1");
    state.HostName = QStringLiteral("target.example");
    state.SamplesTaken = rounds;
    for (int hop = 1; hop <= Hops; ++hop)
        state.HopList.append().ReserveSamples(static_cast<size_t>(rounds));
    for (qint32 round = 1; round <= rounds; ++round) {
        for (int hop = 1; hop <= Hops; ++hop) {
            const bool lost = (round * 31 + hop) % 97 == 0;
            SampleDetail detail;
            detail.round = round;
            detail.clock = SampleClock::Kernel;
            detail.roundTripUs = lost ? -1 : hop * 900 + round % 1000;
            const QString responder =
                hop == Hops ? state.TargetAddress : QStringLiteral("10.0.%1.1").arg(hop);
            HopMerge::MergeResult(state, hop, lost ? LOST_SAMPLE : detail.roundTripUs / 1000,
                                  detail, lost ? QString() : responder, hop == Hops, false);
        }
    }
    state.Window = SampleWindow{0, rounds - 1};
    state.HopList.RecalcAll(state.Window);
    return state;
}

double peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ReportFromStoredTrace(benchmark::State& run) {
    const TraceState state = storedTrace(run.range(0));
    const auto format = static_cast<ReportFormat>(run.range(1));
    const ReportFormatter formatter(state, QStringLiteral("target.example"), Hops, true);
    QFile sink(QStringLiteral("/dev/null"));
    if (!sink.open(QIODevice::WriteOnly)) {
        run.SkipWithError("cannot open /dev/null");
        return;
    }
    for (auto _ : run)
        benchmark::DoNotOptimize(formatter.write(format, sink));
    run.counters["probes"] = static_cast<double>(run.range(0));
    run.counters["peak_rss_mb"] = peakRssMb();
}

void sizes(benchmark::internal::Benchmark* b) {
    for (qint64 probes : {10000, 100000, 1000000}) {
        for (ReportFormat format : {ReportFormat::Text, ReportFormat::Csv, ReportFormat::Json})
            b->Args({probes, static_cast<qint64>(format)});
    }
    b->ArgNames({"probes", "format"});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ReportFromStoredTrace)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
