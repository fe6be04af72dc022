// Recordings: the UI thread's cost of recording one round of 35 hops (buffering it and handing
// it to the writer thread), the writer thread's cost of one round's transaction and the file
// size per million probes, and for a recording of 10^6 rounds x 35 hops (HOPLARK_BENCH_ROUNDS
// overrides the count) the time to open it and to move the history slider one step.
//
// The large file is built once through the writer and kept as
// $TMPDIR/hoplark-bench-v<schema>-<rounds>.hoplark.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "BenchFakes.h"
#include "record/RecordingReader.h"
#include "record/RecordingSchema.h"
#include "record/RecordingWriter.h"
#include "record/SqliteDatabase.h"
#include "record/TraceRecorder.h"
#include "trace/TraceSession.h"

namespace {

using namespace hoplark;

constexpr int Hops = 35;

THostInfo resultFor(int round, int hop) {
    THostInfo result(hop);
    result.IP = QStringLiteral("127.0.0.%1").arg(hop);
    result.AvgTime = static_cast<qint16>(hop % 20);
    result.Detail.round = round;
    result.Detail.roundTripUs = hop * 1000 + round % 997;
    result.Detail.sentUtcUs = 1'700'000'000'000'000 + qint64(round) * 1'000'000 + hop * 25'000;
    result.Detail.icmpType = hop == Hops ? 0 : 11;
    return result;
}

void BM_RecordRoundOnUiThread(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.hoplark"));
    TraceRecorder recorder([] { return RecordingHeader{}; },
                           [&](const RecordingHeader&) { return path; });
    recorder.traceStarted(QStringLiteral("127.0.0.35"), QStringLiteral("127.0.0.35"), {}, 1);
    std::vector<THostInfo> results;
    for (int hop = 1; hop <= Hops; ++hop)
        results.push_back(resultFor(1, hop));
    qint32 round = 0;
    for (auto _ : state) {
        ++round;
        recorder.roundStarted(round, round);
        for (THostInfo& result : results) {
            result.Detail.round = round;
            recorder.probeMerged(result);
        }
        recorder.roundCompleted();
        if (round % 1000 == 0) {
            state.PauseTiming();
            recorder.drain();  // keeps the writer's queue as short as a real trace's
            state.ResumeTiming();
        }
    }
    recorder.finish();
}
BENCHMARK(BM_RecordRoundOnUiThread)->Unit(benchmark::kMicrosecond);

void BM_WriteRoundTransaction(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.hoplark"));
    qint64 probes = 0;
    {
        RecordingWriter writer(path, RecordingHeader{});
        qint32 round = 0;
        for (auto _ : state) {
            state.PauseTiming();
            ++round;
            RecordingBatch batch;
            batch.rounds.push_back({round, round});
            for (int hop = 1; hop <= Hops; ++hop) {
                const THostInfo result = resultFor(round, hop);
                batch.probes.push_back({round, hop, result.Detail.sentUtcUs, result.AvgTime,
                                        result.Detail.roundTripUs, result.IP, 11, 0,
                                        SampleClock::Kernel});
            }
            state.ResumeTiming();
            writer.write(batch);
        }
        probes = writer.probesWritten();
    }
    const double bytes = static_cast<double>(QFileInfo(path).size());
    state.counters["MB_per_million_probes"] = probes ? bytes / probes : 0;
}
BENCHMARK(BM_WriteRoundTransaction)->Unit(benchmark::kMicrosecond)->Iterations(20000);

int benchRounds() {
    const QByteArray text = qgetenv("HOPLARK_BENCH_ROUNDS");
    const int rounds = text.isEmpty() ? 1'000'000 : text.toInt();
    return rounds > 0 ? rounds : 1'000'000;
}

// A recording of `rounds` rounds of 35 answering hops, written as a trace writes it: one
// transaction per round.
QString largeRecording(int rounds) {
    const QString path = QDir::temp().filePath(QStringLiteral("hoplark-bench-v%1-%2.hoplark")
                                                   .arg(RecordingSchema::CurrentVersion)
                                                   .arg(rounds));
    if (QFileInfo::exists(path)) return path;
    const QString partial = path + QStringLiteral(".part");
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(partial + QLatin1String(suffix));
    {
        RecordingHeader header;
        header.target = header.address = QStringLiteral("127.0.0.35");
        header.programVersion = QStringLiteral("bench");
        RecordingWriter writer(partial, header);
        RecordingBatch batch;
        for (qint32 round = 1; round <= rounds; ++round) {
            batch.rounds.assign(1, {round, 1'700'000'000'000'000 + qint64(round) * 1'000'000});
            batch.probes.clear();
            for (int hop = 1; hop <= Hops; ++hop) {
                const THostInfo result = resultFor(round, hop);
                batch.probes.push_back({round, hop, result.Detail.sentUtcUs, result.AvgTime,
                                        result.Detail.roundTripUs, result.IP,
                                        result.Detail.icmpType, 0, SampleClock::Kernel});
            }
            writer.write(batch);
        }
    }
    QFile::rename(partial, path);
    return path;
}

TraceState openForWindow(const QString& path, RecordingReader::Source source) {
    LoadedRecording loaded = RecordingReader::load(path, source);
    if (source == RecordingReader::Source::Packs && !loaded.fromPacks)
        throw std::runtime_error("the benchmark recording was read from its rows");
    return std::move(loaded.state);
}

// From the file to the table the window shows, statistics measured.
void BM_OpenRecording(benchmark::State& state) {
    const QString path = largeRecording(benchRounds());
    const auto source = static_cast<RecordingReader::Source>(state.range(0));
    for (auto _ : state) {
        TraceState loaded = openForWindow(path, source);
        bench::LocalhostNames names;
        bench::FixedClock clock;
        class NullLauncher : public ProbeLauncher {
        public:
            void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
        } launcher;
        TraceSession session(launcher, names, clock);
        session.LoadReplay(std::move(loaded));
        benchmark::DoNotOptimize(session.state().GraphScale);
    }
    const double bytes = static_cast<double>(QFileInfo(path).size());
    state.counters["file_MB"] = bytes / 1e6;
    state.counters["MB_per_million_probes"] = bytes / (double(benchRounds()) * Hops);
}
// Argument 0: the packed probes, 1: the probe rows (as a file without packs opens).
BENCHMARK(BM_OpenRecording)
    ->Arg(static_cast<int>(RecordingReader::Source::Packs))
    ->Arg(static_cast<int>(RecordingReader::Source::ProbeRows))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_SliderStepOnRecording(benchmark::State& state) {
    const QString path = largeRecording(benchRounds());
    bench::LocalhostNames names;
    bench::FixedClock clock;
    class NullLauncher : public ProbeLauncher {
    public:
        void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
    } launcher;
    TraceSession session(launcher, names, clock);
    session.editSampleCountChange(QString::number(state.range(0)));
    session.LoadReplay(openForWindow(path, RecordingReader::Source::Packs));
    const qint32 last = session.state().SamplesTaken;
    QRandomGenerator generator(7);
    for (auto _ : state)
        session.tbTimeChange(static_cast<qint32>(generator.bounded(1, last + 1)));
}
BENCHMARK(BM_SliderStepOnRecording)->Arg(10)->Arg(100)->Arg(3600)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
