#pragma once

#include <QCoreApplication>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "probe/NameService.h"
#include "trace/Clock.h"
#include "trace/ProbeLauncher.h"

namespace hoplark::testing {

// A clock the test sets by hand.
class FakeClock : public Clock {
public:
    qint64 tickMs() const override { return now; }
    qint64 now = 1000;
};

// Names and addresses the test decides on.
class FakeNameService : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string& name) override {
        const auto it = hosts.find(name);
        if (it == hosts.end()) return std::nullopt;
        return it->second;
    }
    std::optional<std::string> LookupAddress(const IpAddress& address) override {
        const auto it = reverse.find(address);
        if (it == reverse.end()) return std::nullopt;
        return it->second;
    }
    std::map<std::string, HostEntry> hosts;
    std::map<IpAddress, std::string> reverse;
};

// Records every worker the session asks for; the test then posts that worker's messages through
// the channel, in any order and at any time, as a real worker would from its thread.
class FakeLauncher : public ProbeLauncher {
public:
    class Worker : public ProbeWorkerHandle {
    public:
        void requestTerminate() override { terminateRequested = true; }
        bool terminateRequested = false;
    };

    struct Launched {
        HopProbeRequest request;
        std::shared_ptr<Worker> worker;
        bool done = false;
    };

    void launch(const HopProbeRequest& request,
                const std::shared_ptr<WorkerChannel>& channelIn) override {
        if (onLaunch) onLaunch(request);
        if (request.hop == failOnHop) throw std::runtime_error("cannot start a worker");
        channel = channelIn;
        auto worker = std::make_shared<Worker>();
        channel->addWorker(worker);
        launched.push_back({request, worker});
    }

    // The hops of the requests from index `from` on.
    std::vector<int> hopsFrom(size_t from) const {
        std::vector<int> hops;
        for (size_t i = from; i < launched.size(); ++i)
            hops.push_back(launched[i].request.hop);
        return hops;
    }

    // `round` 0 leaves the round unknown, as a result without its detail.
    void postResult(TraceId trace, int hop, const QString& ip, int sample, int round = 0) {
        auto record = std::make_unique<THostInfo>(hop);
        record->IP = ip;
        record->AvgTime = static_cast<qint16>(sample);
        record->Detail.round = round;
        record->Detail.roundTripUs = sample == LOST_SAMPLE ? -1 : sample * 1000;
        channel->post(new WorkerEvent(WM_HOPRESULT, trace, std::move(record)));
    }
    void postName(TraceId trace, int hop, const QString& ip, const QString& name) {
        auto record = std::make_unique<THostInfo>(hop);
        record->IP = ip;
        record->DNSName = name;
        channel->post(new WorkerEvent(WM_HOPNAME, trace, std::move(record)));
    }
    void postError(TraceId trace, const QString& text) {
        channel->post(WorkerEvent::error(trace, text));
    }
    // Ends the worker of launched[index]: it leaves the live list and posts its completion.
    void finish(size_t index) {
        Launched& entry = launched[index];
        if (entry.done) return;
        entry.done = true;
        channel->removeWorker(entry.worker.get());
        channel->post(new WorkerEvent(WM_QUERYDONE, entry.request.trace));
    }
    void finishAll() {
        for (size_t i = 0; i < launched.size(); ++i)
            finish(i);
    }

    std::vector<Launched> launched;
    std::function<void(const HopProbeRequest&)> onLaunch;
    int failOnHop = 0;
    // Where the workers post; set at each launch, or by the test beforehand.
    std::shared_ptr<WorkerChannel> channel;
};

}  // namespace hoplark::testing
