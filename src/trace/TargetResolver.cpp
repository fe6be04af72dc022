#include "trace/TargetResolver.h"

#include <QCoreApplication>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace hoplark {

// What the lookup threads share with the resolver: where answers go, and how many lookups are
// still under way.
struct TargetResolver::Shared {
    std::mutex lock;
    std::condition_variable idle;
    QObject* receiver = nullptr;  // null once the resolver has gone
    int running = 0;
};

TargetResolver::TargetResolver(std::shared_ptr<NameService> names)
    : names_(std::move(names)), borrowed_(false), shared_(std::make_shared<Shared>()) {}

TargetResolver::TargetResolver(NameService& names)
    : names_(&names, [](NameService*) {}), borrowed_(true), shared_(std::make_shared<Shared>()) {}

TargetResolver::~TargetResolver() {
    std::unique_lock lock(shared_->lock);
    shared_->receiver = nullptr;
    if (borrowed_) shared_->idle.wait(lock, [this] { return shared_->running == 0; });
}

void TargetResolver::resolve(QObject* receiver, quint64 request, const std::string& text) {
    run(receiver, [request, text](NameService& names) {
        return new TargetResolvedEvent(request, resolveNow(names, text));
    });
}

void TargetResolver::lookUpName(QObject* receiver, quint64 request, quint32 address) {
    run(receiver, [request, address](NameService& names) {
        const std::optional<std::string> name = names.LookupAddress(address);
        return new TargetNamedEvent(request, name ? QString::fromStdString(*name) : QString());
    });
}

void TargetResolver::run(QObject* receiver, std::function<QEvent*(NameService&)> lookup) {
    {
        std::lock_guard lock(shared_->lock);
        shared_->receiver = receiver;
        ++shared_->running;
    }
    std::thread([shared = shared_, names = names_, lookup = std::move(lookup)] {
        std::unique_ptr<QEvent> answer(lookup(*names));
        std::lock_guard lock(shared->lock);
        // Posting under the lock keeps the resolver from going away meanwhile.
        if (shared->receiver != nullptr)
            QCoreApplication::postEvent(shared->receiver, answer.release());
        --shared->running;
        shared->idle.notify_all();
    }).detach();
}

TargetResolution TargetResolver::resolveNow(NameService& names, const std::string& text) {
    TargetResolution resolution;
    resolution.typedAddress = InetAddr(text);
    if (resolution.typedAddress == NoAddress) {
        const std::optional<HostEntry> host = names.LookupHost(text);
        if (host && host->firstAddress != NoAddress) {
            resolution.address = host->firstAddress;
            resolution.hostName = QString::fromStdString(host->officialName);
        }
    } else {
        // Probing needs no name: the reverse lookup runs beside the trace (lookUpName).
        resolution.address = resolution.typedAddress;
    }
    return resolution;
}

}  // namespace hoplark
