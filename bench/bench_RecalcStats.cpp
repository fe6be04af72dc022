// RecalcStats over long traces: a window of the last 10 or 100 rounds, and all rounds, on
// records of 10^3 to 10^6 samples. "grow" adds one sample per iteration to a record that
// already holds N, which is what every merged result costs on the UI thread.
#include <benchmark/benchmark.h>

#include "trace/HostInfo.h"

namespace {

using hoplark::SampleWindow;
using hoplark::THostInfo;

// As merged results leave it: every sample with its microseconds beside it.
THostInfo filledRecord(qint64 n) {
    THostInfo record(1);
    record.ReserveSamples(static_cast<size_t>(n) + 1000000);
    for (qint64 i = 0; i < n; ++i) {
        const bool lost = i % 97 == 0;
        hoplark::SampleDetail detail;
        detail.round = qint32(i + 1);
        detail.roundTripUs = lost ? -1 : qint32(i % 300) * 1000 + qint32(i % 1000);
        record.StoreSample(lost ? 9999 : qint32(i % 300), detail, QString());
    }
    return record;
}

SampleWindow windowOf(qint64 size, qint64 length) {
    if (length == 0) return SampleWindow{0, qint32(size - 1)};
    return SampleWindow{qint32(size - length), qint32(size - 1)};
}

// Full recomputation after the window start moved (the history slider, live mode).
void BM_RecalcStatsMovedWindow(benchmark::State& state) {
    const qint64 n = state.range(0);
    const qint64 length = state.range(1);
    THostInfo record = filledRecord(n);
    bool flip = false;
    for (auto _ : state) {
        SampleWindow w = windowOf(n, length);
        if (flip) ++w.FirstSample;  // a moved start: the whole window is summed again
        flip = !flip;
        record.RecalcStats(w);
        benchmark::DoNotOptimize(record.AvgTime);
    }
}

// One new sample merged, then the statistics recomputed over the window.
void BM_AddSampleGrowing(benchmark::State& state) {
    const qint64 n = state.range(0);
    const qint64 length = state.range(1);
    THostInfo record = filledRecord(n);
    record.RecalcStats(windowOf(n, length));
    for (auto _ : state) {
        const qint64 size = static_cast<qint64>(record.Samples.size());
        record.AddSample(qint32(size % 300), windowOf(size + 1, length));
        benchmark::DoNotOptimize(record.AvgTime);
    }
}

void windows(benchmark::internal::Benchmark* b) {
    for (qint64 n : {1000, 10000, 100000, 1000000}) {
        for (qint64 length : {10, 100, 0})
            b->Args({n, length});
    }
    b->ArgNames({"samples", "window"});
}

BENCHMARK(BM_RecalcStatsMovedWindow)->Apply(windows);
BENCHMARK(BM_AddSampleGrowing)->Apply(windows);

}  // namespace

BENCHMARK_MAIN();
