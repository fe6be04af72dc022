// Workers on their own threads, posting through the channel while the session runs its loop.
#include <QElapsedTimer>
#include <atomic>
#include <thread>

#include "trace/SessionFixture.h"

namespace hoplark::testing {
namespace {

// Starts one real thread per hop that answers like a router chain ending at the target.
class ThreadedLauncher : public ProbeLauncher {
public:
    class Worker : public ProbeWorkerHandle {
    public:
        void requestTerminate() override { stop = true; }
        std::atomic<bool> stop = false;
    };

    ~ThreadedLauncher() override {
        for (std::thread& thread : threads)
            thread.join();
    }

    void launch(const HopProbeRequest& request,
                const std::shared_ptr<WorkerChannel>& channel) override {
        auto worker = std::make_shared<Worker>();
        channel->addWorker(worker);  // registered before it can end
        threads.emplace_back([request, channel, worker, this] {
            if (!worker->stop) {
                const bool atTarget = request.hop >= destinationHop;
                const QString ip = atTarget ? QStringLiteral("10.0.0.10")
                                            : QStringLiteral("10.0.%1.1").arg(request.hop);
                auto result = std::make_unique<THostInfo>(request.hop);
                result->IP = ip;
                result->AvgTime = static_cast<qint16>(request.hop);
                channel->post(new WorkerEvent(WM_HOPRESULT, request.trace, std::move(result)));
                if (request.resolveName && !worker->stop) {
                    auto name = std::make_unique<THostInfo>(request.hop);
                    name->IP = ip;
                    name->DNSName = QStringLiteral("hop%1.example").arg(request.hop);
                    channel->post(new WorkerEvent(WM_HOPNAME, request.trace, std::move(name)));
                }
            }
            channel->removeWorker(worker.get());
            channel->post(new WorkerEvent(WM_QUERYDONE, request.trace));
        });
    }

    int destinationHop = 6;
    std::vector<std::thread> threads;
};

TEST_F(SessionTest, ThreadedWorkersOfTwoTracesMergeOnlyIntoTheCurrentOne) {
    ThreadedLauncher threaded;
    {
        TraceSession live(threaded, names, clock);
        live.setDelayProvider([] { return 60000; });
        live.StartTrace("target.example");
        waitForStart(live);
        live.StartTrace("target.example");  // the first trace's workers are still posting
        waitForStart(live);

        QElapsedTimer waited;
        waited.start();
        while ((live.pendingQueries() != 0 || live.state().HopList.count() < 6) &&
               waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

        EXPECT_EQ(live.pendingQueries(), 0);
        EXPECT_EQ(live.state().DestinationHop, 6);
        ASSERT_EQ(live.state().HopList.count(), 6);
        for (const THostInfo& hop : live.state().HopList) {
            EXPECT_EQ(hop.Samples.size(), 1u) << "hop " << hop.Hop;
            EXPECT_EQ(hop.DNSName, QStringLiteral("hop%1.example").arg(hop.Hop));
        }
        for (auto& thread : threaded.threads)
            thread.join();
        threaded.threads.clear();
        live.StopTrace();
    }
    // The session is gone; nothing may reach it.
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace hoplark::testing
