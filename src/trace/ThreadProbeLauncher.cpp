#include "trace/ThreadProbeLauncher.h"

#include "trace/TTraceThread.h"

namespace hoplark {

ThreadProbeLauncher::ThreadProbeLauncher(std::shared_ptr<EchoService> echo,
                                         std::shared_ptr<NameService> names, int timeoutMs)
    : echo_(std::move(echo)),
      names_(std::move(names)),
      timeoutMs_(timeoutMs),
      pool_(HopWorkerPool::create(TTraceThread::WorkerStackBytes)) {}

ThreadProbeLauncher::~ThreadProbeLauncher() {
    pool_->retire();
}

void ThreadProbeLauncher::launch(const HopProbeRequest& request,
                                 const std::shared_ptr<WorkerChannel>& channel) {
    auto worker = std::make_shared<TTraceThread>(request, channel, echo_, names_, timeoutMs_);
    // In the list before it runs, so it cannot end and leave a stale entry behind.
    channel->addWorker(worker);
    try {
        worker->start(*pool_);
    } catch (const std::exception& failure) {
        // No thread could be made: the worker still ends the way every worker does.
        channel->removeWorker(worker.get());
        channel->post(WorkerEvent::error(request.trace, QString::fromStdString(failure.what())));
        channel->post(new WorkerEvent(WM_QUERYDONE, request.trace));
    }
}

}  // namespace hoplark
