// CPU cost of probing on loopback: per 1000 echo probes, per round of 35 hop workers, and the
// memory 350 live workers take. CPU is user + system time of the whole process (the raw
// socket's receiver thread included), reported as counters.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <fstream>
#include <string>

#include "probe/TTrace.h"
#include "trace/ThreadProbeLauncher.h"

namespace {

using namespace hoplark;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// Counts the workers' final messages.
class DoneCounter : public QObject {
public:
    bool event(QEvent* event) override {
        if (!WorkerEvent::isWorkerMessage(event)) return QObject::event(event);
        if (event->type() == static_cast<QEvent::Type>(WM_QUERYDONE)) ++done;
        return true;
    }
    int done = 0;
};

// The service is made once: binding may drop the process's capabilities.
std::shared_ptr<EchoService> sharedService() {
    static auto service = std::make_shared<EchoService>();
    return service;
}

void BM_ProbesOnLoopback(benchmark::State& state) {
    auto service = sharedService();
    if (!service->bound()) {
        state.SkipWithError(service->startupError().c_str());
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        for (int i = 0; i < 1000; ++i) {
            TTrace probe(*service);
            probe.TTL = 64;
            probe.Destination = "127.0.0.1";
            probe.Timeout = 1000;
            probe.Probe();
            benchmark::DoNotOptimize(probe.RoundTrip);
        }
        cpu += cpuSeconds() - before;
    }
    state.counters["cpu_ms_per_1000_probes"] = cpu * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ProbesOnLoopback)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RoundOf35Workers(benchmark::State& state) {
    DoneCounter counter;
    auto channel = std::make_shared<WorkerChannel>(&counter);
    ThreadProbeLauncher launcher(sharedService(), std::make_shared<SystemNameService>(), 1000);
    double cpu = 0;
    for (auto _ : state) {
        counter.done = 0;
        const double before = cpuSeconds();
        for (int hop = 1; hop <= 35; ++hop) {
            launcher.launch({1, "127.0.0.1", hop, false, 0}, channel);
        }
        while (counter.done < 35)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        cpu += cpuSeconds() - before;
    }
    channel->detachReceiver();
    state.counters["cpu_ms_per_round"] = cpu * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RoundOf35Workers)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_MemoryOf350LiveWorkers(benchmark::State& state) {
    DoneCounter counter;
    auto channel = std::make_shared<WorkerChannel>(&counter);
    ThreadProbeLauncher launcher(sharedService(), std::make_shared<SystemNameService>());
    long grownKb = 0;
    for (auto _ : state) {
        counter.done = 0;
        const long before = residentKb();
        // Workers asleep in a long start delay: alive, each with its thread and stack.
        for (int i = 0; i < 350; ++i)
            launcher.launch({1, "127.0.0.1", 1, false, 60000}, channel);
        QThread::msleep(200);
        grownKb = residentKb() - before;
        QElapsedTimer timer;
        timer.start();
        channel->terminateAll();
        while (counter.done < 350)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.counters["ms_to_end_350"] = static_cast<double>(timer.elapsed());
    }
    channel->detachReceiver();
    state.counters["rss_kb_350_workers"] = static_cast<double>(grownKb);
}
BENCHMARK(BM_MemoryOf350LiveWorkers)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
