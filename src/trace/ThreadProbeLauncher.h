#pragma once

#include <memory>

#include "probe/EchoService.h"
#include "probe/NameService.h"
#include "trace/HopWorkerPool.h"
#include "trace/ProbeLauncher.h"

namespace hoplark {

// The real launcher: one TTraceThread per request, registered with the channel before it runs,
// each on a thread of its own from the launcher's pool.
// Workers share ownership of the echo facility and the name service, so a worker still running
// when the program closes never reaches a destroyed one.
class ThreadProbeLauncher : public ProbeLauncher {
public:
    static constexpr int DefaultTimeoutMs = 9998;

    ThreadProbeLauncher(std::shared_ptr<EchoService> echo, std::shared_ptr<NameService> names,
                        int timeoutMs = DefaultTimeoutMs);
    // Idle threads end now; workers still running end on their own.
    ~ThreadProbeLauncher() override;
    ThreadProbeLauncher(const ThreadProbeLauncher&) = delete;
    ThreadProbeLauncher& operator=(const ThreadProbeLauncher&) = delete;

    void launch(const HopProbeRequest& request,
                const std::shared_ptr<WorkerChannel>& channel) override;

    int probeTimeoutMs() const override { return timeoutMs_; }

    EchoService& echoService() const { return *echo_; }
    const HopWorkerPool& pool() const { return *pool_; }

private:
    std::shared_ptr<EchoService> echo_;
    std::shared_ptr<NameService> names_;
    int timeoutMs_;
    std::shared_ptr<HopWorkerPool> pool_;
};

}  // namespace hoplark
