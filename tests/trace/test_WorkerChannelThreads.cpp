// The way worker messages reach the UI thread: in the order posted, from many threads at once,
// with one wake-up for all that arrive before the UI thread gets to them, and never to a receiver
// or channel that has gone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "trace/WorkerChannel.h"

namespace hoplark::testing {
namespace {

// Records the hop of every worker message it gets and how many wake-ups came with them; can be
// told to post one more message while handling one.
class Inbox : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::MetaCall) ++wakeUps;
        if (!WorkerEvent::isWorkerMessage(event)) return QObject::event(event);
        auto& message = static_cast<WorkerEvent&>(*event);
        hops.push_back(message.record() ? message.record()->Hop : -message.message());
        if (onMessage) onMessage(message);
        return true;
    }

    std::vector<int> hops;
    int wakeUps = 0;
    std::function<void(WorkerEvent&)> onMessage;
};

WorkerEvent* result(int hop, TraceId trace = 1) {
    return new WorkerEvent(WM_HOPRESULT, trace, std::make_unique<THostInfo>(hop));
}

TEST(WorkerChannel, MessagesArriveInOrderWithOneWakeUpAndPostsDuringHandlingFollowThem) {
    Inbox inbox;
    auto channel = std::make_shared<WorkerChannel>(&inbox);
    std::thread worker([&] {
        channel->post(result(1));
        channel->post({result(2), new WorkerEvent(WM_QUERYDONE, 1)});
        channel->post(result(3));
    });
    worker.join();
    // A handler that posts (the session posts its rescale this way) gets its message after
    // everything already waiting.
    inbox.onMessage = [&](WorkerEvent& message) {
        if (message.record() && message.record()->Hop == 2) channel->post(result(9));
    };
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_EQ(inbox.hops, (std::vector<int>{1, 2, -WM_QUERYDONE, 3, 9}));
    EXPECT_EQ(inbox.wakeUps, 1);

    // Once the inbox is empty, the next post wakes the receiver again.
    channel->post(result(4));
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_EQ(inbox.hops.back(), 4);
    EXPECT_EQ(inbox.wakeUps, 2);
    channel->detachReceiver();
}

TEST(WorkerChannel, WakingOnlyWhenIdleWaitsForTheLastWorkerOrTheReceiversOwnCall) {
    struct Worker : ProbeWorkerHandle {
        void requestTerminate() override {}
    };
    Inbox inbox;
    auto channel = std::make_shared<WorkerChannel>(&inbox);
    channel->setWakeOnlyWhenIdle(true);
    auto first = std::make_shared<Worker>();
    auto last = std::make_shared<Worker>();
    channel->addWorker(first);
    channel->addWorker(last);
    std::thread([&] {
        channel->post(result(1));
        channel->removeWorker(first.get());
        channel->post({result(2), new WorkerEvent(WM_QUERYDONE, 1)});
    }).join();
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_TRUE(inbox.hops.empty());
    EXPECT_EQ(inbox.wakeUps, 0);

    // The receiver may take what waits at any time.
    channel->deliverPending();
    EXPECT_EQ(inbox.hops, (std::vector<int>{1, 2, -WM_QUERYDONE}));

    std::thread([&] {
        channel->post(result(3));
        channel->removeWorker(last.get());
        channel->post(new WorkerEvent(WM_QUERYDONE, 1));
    }).join();
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_EQ(inbox.hops, (std::vector<int>{1, 2, -WM_QUERYDONE, 3, -WM_QUERYDONE}));
    EXPECT_EQ(inbox.wakeUps, 1);
    channel->detachReceiver();
}

TEST(WorkerChannel, EveryMessageOfManyThreadsArrivesOnceAndEachThreadsInOrder) {
    Inbox inbox;
    auto channel = std::make_shared<WorkerChannel>(&inbox);
    constexpr int Threads = 8;
    constexpr int PerThread = 500;
    std::atomic<bool> go = false;
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < PerThread; ++i)
                channel->post(result(t * PerThread + i));
        });
    }
    go = true;
    // Delivered while they are still posting, as the UI thread does.
    while (inbox.hops.size() < size_t{Threads * PerThread})
        QCoreApplication::sendPostedEvents(&inbox, 0);
    for (auto& worker : workers)
        worker.join();
    QCoreApplication::sendPostedEvents(&inbox, 0);
    ASSERT_EQ(inbox.hops.size(), size_t{Threads * PerThread});
    std::vector<int> next(Threads, 0);
    for (int hop : inbox.hops) {
        const int t = hop / PerThread;
        EXPECT_EQ(hop % PerThread, next[t]++) << "thread " << t;
    }
    EXPECT_LT(inbox.wakeUps, Threads * PerThread);
    channel->detachReceiver();
}

TEST(WorkerChannel, NothingReachesADetachedReceiverOrOutlivesAGoneChannel) {
    Inbox inbox;
    auto channel = std::make_shared<WorkerChannel>(&inbox);
    // Waiting messages are dropped with the receiver (and freed: the leak check sees them).
    channel->post(result(1));
    channel->detachReceiver();
    EXPECT_FALSE(channel->post(result(2)));
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_TRUE(inbox.hops.empty());

    // A wake-up still queued when its channel goes does nothing.
    auto shortLived = std::make_shared<WorkerChannel>(&inbox);
    shortLived->post(result(3));
    shortLived.reset();
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_TRUE(inbox.hops.empty());

    // A handler may detach the receiver: what is left waiting is not handed over.
    auto closing = std::make_shared<WorkerChannel>(&inbox);
    inbox.onMessage = [&](WorkerEvent&) { closing->detachReceiver(); };
    closing->post({result(4), result(5)});
    QCoreApplication::sendPostedEvents(&inbox, 0);
    EXPECT_EQ(inbox.hops, std::vector<int>{4});
}

// The wake-up is queued outside the inbox's lock (so that the woken thread does not find it held),
// yet a receiver may be freed as soon as it is detached, while workers go on posting.
TEST(WorkerChannel, AReceiverFreedRightAfterDetachingIsNeverWokenWhileWorkersPost) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        auto inbox = std::make_unique<Inbox>();
        auto channel = std::make_shared<WorkerChannel>(inbox.get());
        std::atomic<int> posted = 0;
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; ++t) {
            workers.emplace_back([&] {
                for (int i = 0; i < 2000 && channel->post(result(1)); ++i)
                    ++posted;
            });
        }
        // Detached at a different moment each time, mostly while the workers are still posting.
        while (posted.load() < 20 * (attempt % 5 + 1))
            std::this_thread::yield();
        QCoreApplication::sendPostedEvents(inbox.get(), 0);
        channel->detachReceiver();
        inbox.reset();
        EXPECT_FALSE(channel->post(result(2)));
        for (auto& worker : workers)
            worker.join();
        QCoreApplication::sendPostedEvents(nullptr, 0);
    }
}

}  // namespace
}  // namespace hoplark::testing
