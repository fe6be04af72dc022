// The settings file with a long destination history (10^3, 10^4 and 10^5 items, each followed
// now and then by a comment and a key of another program): reading it as the window starts,
// writing it as the window closes, and the whole round trip through a real main window (its
// construction reads the file, FormDestroy writes it back).
#include <benchmark/benchmark.h>

#include "WidgetBenchMain.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "BenchFakes.h"
#include "app/MainWindow.h"
#include "app/MessageBoxes.h"
#include "app/SettingsFile.h"

namespace {

using namespace hoplark;

class NoLauncher : public ProbeLauncher {
public:
    void launch(const HopProbeRequest&, const std::shared_ptr<WorkerChannel>&) override {}
};

class SilentBoxes : public MessageBoxes {
public:
    void showError(QWidget*, const QString&) override {}
    void showErrorWithPath(QWidget*, const QString&, const QString&) override {}
    void showStartupError(QWidget*, const QString&) override {}
    void showWorkerError(QWidget*, const QString&, std::function<void()>) override {}
};

// A settings file in a folder of its own, holding `items` history entries.
class LongHistory {
public:
    explicit LongHistory(qint64 items) : path_(folder_.filePath(QStringLiteral("Hoplark.INI"))) {
        QByteArray bytes =
            "[Warnings]\nWARNINGSPEED=300\n\n[History]\nCount=" + QByteArray::number(items) + '\n';
        for (qint64 i = 0; i < items; ++i) {
            bytes +=
                "Item" + QByteArray::number(i) + "=host" + QByteArray::number(i) + ".example.org\n";
            if (i % 100 == 0) bytes += "; theirs\nForeign" + QByteArray::number(i) + "=1\n";
        }
        QFile file(path_);
        if (file.open(QIODevice::WriteOnly)) file.write(bytes);
        bytes_ = bytes.size();
    }
    const QString& path() const { return path_; }
    qint64 bytes() const { return bytes_; }

private:
    QTemporaryDir folder_;
    QString path_;
    qint64 bytes_ = 0;
};

void reportSize(benchmark::State& state, const LongHistory& history) {
    state.counters["items"] = static_cast<double>(state.range(0));
    state.counters["MB"] = static_cast<double>(history.bytes()) / 1e6;
}

void BM_SettingsRead(benchmark::State& state) {
    const LongHistory history(state.range(0));
    for (auto _ : state) {
        const SettingsFile ini(history.path());
        const qint32 count = ini.ReadInteger(QStringLiteral("History"), QStringLiteral("Count"), 0);
        benchmark::DoNotOptimize(
            ini.ReadStringList(QStringLiteral("History"), QStringLiteral("Item"), count));
    }
    reportSize(state, history);
}

void BM_SettingsWrite(benchmark::State& state) {
    const LongHistory history(state.range(0));
    QStringList items;
    for (qint64 i = 0; i < state.range(0); ++i)
        items << QStringLiteral("other%1.example.org").arg(i);
    for (auto _ : state) {
        SettingsFile ini(history.path());
        ini.WriteInteger(QStringLiteral("History"), QStringLiteral("Count"), qint32(items.size()));
        for (qsizetype i = 0; i < items.size(); ++i)
            ini.WriteString(QStringLiteral("History"), QStringLiteral("Item%1").arg(i), items[i]);
        ini.commit();
    }
    reportSize(state, history);
}

// What the user waits for: a window built from the file, and its settings written at the exit.
void BM_WindowStartAndExit(benchmark::State& state) {
    const LongHistory history(state.range(0));
    for (auto _ : state) {
        TformMain form(history.path(), WindowServices{std::make_shared<NoLauncher>(),
                                                      std::make_shared<bench::LocalhostNames>(),
                                                      std::make_shared<bench::FixedClock>(),
                                                      nullptr, std::make_shared<SilentBoxes>()});
        form.FormDestroy();
    }
    reportSize(state, history);
}

BENCHMARK(BM_SettingsRead)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsWrite)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WindowStartAndExit)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return hoplark::bench::RunWidgetBenchmarks(argc, argv);
}
