// Recordings: the UI thread's cost of recording one round of 35 hops (buffering it and handing
// it to the writer thread), the writer thread's cost of one round's transaction and the file
// size per million probes, and for a recording of 10^6 rounds x 35 hops (HOPLARK_BENCH_ROUNDS
// overrides the count) the time to open it and to move the history slider one step.
//
// The large file is built once in SQL and kept as $TMPDIR/hoplark-bench-<rounds>.hoplark.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <memory>

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

// A recording of `rounds` rounds of 35 answering hops, written straight in SQL.
QString largeRecording(int rounds) {
    const QString path =
        QDir::temp().filePath(QStringLiteral("hoplark-bench-%1.hoplark").arg(rounds));
    if (QFileInfo::exists(path)) return path;
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    {
        RecordingHeader header;
        header.target = header.address = QStringLiteral("127.0.0.35");
        header.programVersion = QStringLiteral("bench");
        RecordingWriter writer(partial, header);
    }
    SqliteDatabase db(partial, SqliteDatabase::Mode::ReadWrite);
    db.exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN");
    db.exec(
        "WITH RECURSIVE h(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM h WHERE x < 35) "
        "INSERT INTO responder (id, address) SELECT x, '127.0.0.' || x FROM h");
    const QByteArray rows =
        QStringLiteral(
            "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < %1) "
            "INSERT INTO round SELECT x, 1700000000000000 + x * 1000000 FROM r; "
            "WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < %2) "
            "INSERT INTO probe (round, hop, sent_utc_us, sample_ms, round_trip_us, "
            "responder_id, icmp_type, icmp_code, clock) "
            "SELECT x / 35 + 1, x % 35 + 1, 1700000000000000 + (x / 35 + 1) * 1000000 + "
            "(x % 35) * 25000, (x % 35 + 1) % 20, (x % 35 + 1) * 1000 + x % 997, x % 35 + 1, "
            "CASE WHEN x % 35 = 34 THEN 0 ELSE 11 END, 0, 0 FROM c")
            .arg(rounds)
            .arg(qint64(rounds) * Hops - 1)
            .toUtf8();
    db.exec(rows.constData());
    db.exec("COMMIT");
    QFile::rename(partial, path);
    return path;
}

void BM_OpenRecording(benchmark::State& state) {
    const QString path = largeRecording(benchRounds());
    for (auto _ : state) {
        LoadedRecording loaded = RecordingReader::load(path);
        bench::LocalhostNames names;
        bench::FixedClock clock;
        class NullLauncher : public ProbeLauncher {
        public:
            void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
        } launcher;
        TraceSession session(launcher, names, clock);
        session.LoadReplay(std::move(loaded.state));
        benchmark::DoNotOptimize(session.state().GraphScale);
    }
    state.counters["file_MB"] = static_cast<double>(QFileInfo(path).size()) / 1e6;
}
BENCHMARK(BM_OpenRecording)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SliderStepOnRecording(benchmark::State& state) {
    const QString path = largeRecording(benchRounds());
    bench::LocalhostNames names;
    bench::FixedClock clock;
    class NullLauncher : public ProbeLauncher {
    public:
        void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
    } launcher;
    TraceSession session(launcher, names, clock);
    session.miShowHistorySliderClick();
    session.editSampleCountChange(QString::number(state.range(0)));
    session.LoadReplay(RecordingReader::load(path).state);
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
