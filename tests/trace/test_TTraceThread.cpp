#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <map>

#include "support/NetnsChain.h"
#include "support/ScopedNetns.h"
#include "trace/ThreadProbeLauncher.h"

namespace hoplark {
namespace {

using test::NetnsChain;

constexpr TraceId Trace = 42;

struct Posted {
    WorkerMessage message = WM_QUERYDONE;
    TraceId trace = 0;
    qint32 hop = 0;
    QString ip;
    qint16 sample = 0;
    QString name;
};

// Stands in for the trace session: records every worker message in arrival order.
class Recorder : public QObject {
public:
    bool event(QEvent* event) override {
        if (!WorkerEvent::isWorkerMessage(event)) return QObject::event(event);
        auto* worker = static_cast<WorkerEvent*>(event);
        Posted posted;
        posted.message = worker->message();
        posted.trace = worker->trace();
        if (const THostInfo* record = worker->record()) {
            posted.hop = record->Hop;
            posted.ip = record->IP;
            posted.sample = record->AvgTime;
            posted.name = record->DNSName;
        }
        received.push_back(posted);
        return true;
    }

    int count(WorkerMessage message, qint32 hop = -1) const {
        int n = 0;
        for (const auto& p : received) {
            if (p.message == message && (hop < 0 || p.hop == hop)) ++n;
        }
        return n;
    }

    const Posted* find(WorkerMessage message, qint32 hop) const {
        for (const auto& p : received) {
            if (p.message == message && p.hop == hop) return &p;
        }
        return nullptr;
    }

    // Processes events until `done` workers have reported or `ms` pass.
    bool waitForDone(int done, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (count(WM_QUERYDONE) < done && timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return count(WM_QUERYDONE) >= done;
    }

    std::vector<Posted> received;
};

// Names the first router only, and counts lookups.
class OneNameService : public NameService {
public:
    explicit OneNameService(std::string address) : address_(std::move(address)) {}
    std::optional<HostEntry> LookupHost(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(const IpAddress& address) override {
        ++lookups;
        if (address.text() == address_) return "router-one.hoplark.test";
        return std::nullopt;
    }
    std::atomic<int> lookups{0};

private:
    std::string address_;
};

class TTraceThreadTest : public testing::Test {
protected:
    void SetUp() override {
        HOPLARK_REQUIRE_NETNS();
        test::NetnsChainOptions options;
        options.routers = 3;
        options.silentRouters = {2};
        options.pingGroupOpen = true;
        chain_ = std::make_unique<NetnsChain>(options);
        inside_ = std::make_unique<test::ScopedNetns>(chain_->clientNamespace());
        // This process builds the next tests' namespaces: it must keep its privileges.
        echo_ = std::make_shared<EchoService>(EchoService::BindOptions{.dropCapabilities = false});
        names_ = std::make_shared<OneNameService>(chain_->routerAddress(1));
        channel_ = std::make_shared<WorkerChannel>(&recorder_);
    }

    void TearDown() override {
        if (channel_) channel_->detachReceiver();
        inside_.reset();
        chain_.reset();
    }

    HopProbeRequest request(qint32 hop, bool resolve, qint32 delay = 0) const {
        return HopProbeRequest{Trace, QString::fromStdString(chain_->targetAddress()), hop, resolve,
                               delay};
    }

    std::unique_ptr<NetnsChain> chain_;
    std::unique_ptr<test::ScopedNetns> inside_;
    std::shared_ptr<EchoService> echo_;
    std::shared_ptr<OneNameService> names_;
    Recorder recorder_;
    std::shared_ptr<WorkerChannel> channel_;
};

TEST_F(TTraceThreadTest, ARoundPostsResultsNamesAndOneDonePerWorker) {
    ThreadProbeLauncher launcher(echo_, names_, 400);
    for (int hop = 1; hop <= 4; ++hop)
        launcher.launch(request(hop, true, (hop - 1) * 25), channel_);
    ASSERT_TRUE(recorder_.waitForDone(4, 5000));

    for (const auto& posted : recorder_.received)
        EXPECT_EQ(posted.trace, Trace);
    EXPECT_EQ(recorder_.count(WM_QUERYDONE, 0), 4);
    for (int hop = 1; hop <= 4; ++hop) {
        ASSERT_EQ(recorder_.count(WM_HOPRESULT, hop), 1) << hop;
    }
    EXPECT_EQ(recorder_.find(WM_HOPRESULT, 1)->ip.toStdString(), chain_->routerAddress(1));
    EXPECT_EQ(recorder_.find(WM_HOPRESULT, 3)->ip.toStdString(), chain_->routerAddress(3));
    EXPECT_EQ(recorder_.find(WM_HOPRESULT, 4)->ip.toStdString(), chain_->targetAddress());
    // The silent hop: a lost sample and no name.
    EXPECT_EQ(recorder_.find(WM_HOPRESULT, 2)->ip, QString());
    EXPECT_EQ(recorder_.find(WM_HOPRESULT, 2)->sample, LOST_SAMPLE);
    EXPECT_EQ(recorder_.count(WM_HOPNAME, 2), 0);
    EXPECT_EQ(recorder_.find(WM_HOPNAME, 1)->name, QStringLiteral("router-one.hoplark.test"));
    EXPECT_EQ(recorder_.find(WM_HOPNAME, 3)->name, QStringLiteral(" -------------- "));
    EXPECT_EQ(recorder_.find(WM_HOPNAME, 4)->name, NO_NAME);
    EXPECT_EQ(names_->lookups, 3);
    // Per worker: the result, then its name, then nothing but the final done.
    for (int hop : {1, 3, 4}) {
        int resultAt = -1, nameAt = -1;
        for (int i = 0; i < static_cast<int>(recorder_.received.size()); ++i) {
            const auto& p = recorder_.received[i];
            if (p.hop != hop) continue;
            (p.message == WM_HOPRESULT ? resultAt : nameAt) = i;
        }
        EXPECT_LT(resultAt, nameAt) << hop;
    }
    EXPECT_EQ(channel_->workerCount(), 0u);
    EXPECT_EQ(recorder_.count(WM_WORKERERROR), 0);
}

TEST_F(TTraceThreadTest, NoLookupWithoutResolveName) {
    ThreadProbeLauncher launcher(echo_, names_, 400);
    launcher.launch(request(1, false), channel_);
    ASSERT_TRUE(recorder_.waitForDone(1, 3000));
    EXPECT_EQ(recorder_.count(WM_HOPRESULT, 1), 1);
    EXPECT_EQ(recorder_.count(WM_HOPNAME), 0);
    EXPECT_EQ(names_->lookups, 0);
}

// Terminated while sleeping or while the echo is outstanding: only WM_QUERYDONE, at once.
TEST_F(TTraceThreadTest, TerminatedWorkersPostOnlyDoneAndEndAtOnce) {
    ThreadProbeLauncher launcher(echo_, names_);  // the real 9998 ms time-out
    constexpr int StartDelayMs = 5000;
    launcher.launch(request(1, true, StartDelayMs), channel_);  // asleep in its start delay
    launcher.launch(request(2, true), channel_);                // waiting on the silent hop
    QElapsedTimer sinceLaunch;
    sinceLaunch.start();
    while (echo_->openHandles() == 0 && sinceLaunch.elapsed() < 2000)
        QThread::msleep(5);
    QThread::msleep(50);
    channel_->terminateAll();
    // Both done before the sleeper would have woken by itself (the other would wait out its
    // time-out), however slowly a busy machine runs the rest.
    ASSERT_TRUE(recorder_.waitForDone(2, StartDelayMs - static_cast<int>(sinceLaunch.elapsed())));
    EXPECT_EQ(recorder_.received.size(), 2u);
    EXPECT_EQ(recorder_.count(WM_HOPRESULT), 0);
}

TEST_F(TTraceThreadTest, ManyWorkersInFlightEndLongBeforeTheirTimeOutOnceTheReceiverIsGone) {
    ThreadProbeLauncher launcher(echo_, names_);
    constexpr int Workers = 350;
    for (int i = 0; i < Workers; ++i)
        launcher.launch(request(2, true), channel_);
    QElapsedTimer timer;
    timer.start();
    while (echo_->openHandles() < 300 && timer.elapsed() < 5000)
        QThread::msleep(5);
    // Closing the program: the receiver goes, then every worker is told to stop.
    channel_->detachReceiver();
    timer.restart();
    channel_->terminateAll();
    // Each would otherwise wait out its 9998 ms time-out; half of it is beyond any busy machine.
    while (echo_.use_count() > 2 && timer.elapsed() < 5000)
        QThread::msleep(2);
    EXPECT_EQ(echo_.use_count(), 2) << "workers still alive";
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder_.received.empty());
}

}  // namespace
}  // namespace hoplark
