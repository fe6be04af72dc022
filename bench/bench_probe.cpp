// CPU cost of probing over the ICMP datagram socket, inside network namespaces this program
// builds (root needed): per 1000 probes on the client's loopback and along a 3-router chain,
// one probe at a time and through hop workers (a thread per probe, as a trace runs them), and
// the memory 350 live workers take. CPU is user + system time of the whole process (the echo
// facility's receiver thread included), reported as counters.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <fstream>
#include <memory>
#include <string>

#include "probe/TTrace.h"
#include "support/NetnsChain.h"
#include "support/ScopedNetns.h"
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

// The chain, and the echo facility bound inside its client namespace over the datagram socket.
// Made once; the process keeps its privileges so that it can take the namespaces down again.
struct Path {
    Path() {
        test::NetnsChainOptions options;
        options.routers = 3;
        options.pingGroupOpen = true;
        options.ipv6 = true;
        chain = std::make_unique<test::NetnsChain>(options);
        inside = std::make_unique<test::ScopedNetns>(chain->clientNamespace());
        EchoService::BindOptions datagramOnly;
        datagramOnly.allowRaw = false;
        datagramOnly.dropCapabilities = false;
        echo = std::make_shared<EchoService>(datagramOnly);
    }
    std::unique_ptr<test::NetnsChain> chain;
    std::unique_ptr<test::ScopedNetns> inside;
    std::shared_ptr<EchoService> echo;
};

Path* sharedPath(benchmark::State& state) {
    static std::unique_ptr<Path> path;
    static std::string failure;
    if (!path && failure.empty()) {
        failure = test::NetnsUnavailableReason();
        if (failure.empty()) {
            try {
                path = std::make_unique<Path>();
                if (!path->echo->bound()) failure = path->echo->startupError();
            } catch (const std::exception& error) {
                failure = error.what();
            }
        }
    }
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return nullptr;
    }
    return path.get();
}

std::string destinationFor(const Path& path, int which) {
    switch (which) {
        case 0:
            return "127.0.0.1";
        case 1:
            return path.chain->targetAddress();
        case 2:
            return "::1";
        default:
            return path.chain->targetAddress6();
    }
}

// Arg 0: the client's loopback; 1: the target at the end of the chain (hops 1..4); 2 and 3 the
// same over IPv6, so that the two families' cost per probe stand side by side in one run.
void BM_DatagramProbesOneByOne(benchmark::State& state) {
    Path* path = sharedPath(state);
    if (path == nullptr) return;
    const std::string destination = destinationFor(*path, static_cast<int>(state.range(0)));
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        for (int i = 0; i < 1000; ++i) {
            TTrace probe(*path->echo);
            probe.TTL = static_cast<uint8_t>(i % 4 + 1);
            probe.Destination = destination;
            probe.Timeout = 1000;
            probe.Probe();
            benchmark::DoNotOptimize(probe.RoundTrip);
        }
        cpu += cpuSeconds() - before;
    }
    state.counters["cpu_ms_per_1000_probes"] = cpu * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DatagramProbesOneByOne)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// 1000 probes as a trace makes them: rounds of hop workers, each its own thread.
void BM_DatagramProbesByWorkers(benchmark::State& state) {
    Path* path = sharedPath(state);
    if (path == nullptr) return;
    const QString destination =
        QString::fromStdString(destinationFor(*path, static_cast<int>(state.range(0))));
    const bool loopback = state.range(0) == 0 || state.range(0) == 2;
    const int hops = loopback ? 35 : 4;
    DoneCounter counter;
    auto channel = std::make_shared<WorkerChannel>(&counter);
    ThreadProbeLauncher launcher(path->echo, std::make_shared<SystemNameService>(), 1000);
    double cpu = 0;
    for (auto _ : state) {
        counter.done = 0;
        const double before = cpuSeconds();
        int launched = 0;
        while (launched < 1000) {
            const int round = std::min(hops, 1000 - launched);
            for (int hop = 1; hop <= round; ++hop)
                launcher.launch({1, destination, hop, false, 0, 1}, channel);
            launched += round;
            while (counter.done < launched)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        cpu += cpuSeconds() - before;
    }
    channel->detachReceiver();
    state.counters["cpu_ms_per_1000_probes"] = cpu * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DatagramProbesByWorkers)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_MemoryOf350LiveWorkers(benchmark::State& state) {
    Path* path = sharedPath(state);
    if (path == nullptr) return;
    DoneCounter counter;
    auto channel = std::make_shared<WorkerChannel>(&counter);
    ThreadProbeLauncher launcher(path->echo, std::make_shared<SystemNameService>());
    long grownKb = 0;
    for (auto _ : state) {
        counter.done = 0;
        const long before = residentKb();
        // Workers asleep in a long start delay: alive, each with its thread and stack.
        for (int i = 0; i < 350; ++i)
            launcher.launch({1, "127.0.0.1", 1, false, 60000, 1}, channel);
        QThread::msleep(200);
        grownKb = residentKb() - before;
        QElapsedTimer timer;
        timer.start();
        channel->terminateAll();
        while (counter.done < 350)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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
