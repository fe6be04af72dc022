#include "trace/TargetResolver.h"

#include <QCoreApplication>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "probe/SourceAddress.h"

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

void TargetResolver::resolve(QObject* receiver, quint64 request, const std::string& text,
                             AddressChoice choice) {
    run(receiver, [request, text, choice](NameService& names) {
        return new TargetResolvedEvent(request, resolveNow(names, text, choice));
    });
}

void TargetResolver::lookUpName(QObject* receiver, quint64 request, const IpAddress& address) {
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

namespace {

bool allowed(AddressChoice choice, const IpAddress& address) {
    switch (choice) {
        case AddressChoice::V4Only:
            return address.isV4();
        case AddressChoice::V6Only:
            return address.isV6();
        case AddressChoice::ResolverOrder:
            break;
    }
    return true;
}

QString ruledOut(AddressChoice choice) {
    return choice == AddressChoice::V4Only ? QStringLiteral("only IPv4 is allowed")
                                           : QStringLiteral("only IPv6 is allowed");
}

}  // namespace

TargetResolution TargetResolver::resolveNow(NameService& names, const std::string& text,
                                            AddressChoice choice) {
    TargetResolution resolution;
    resolution.typedAddress = IpAddress::Parse(text);
    if (resolution.typedAddress) {
        if (!allowed(choice, *resolution.typedAddress)) {
            resolution.whyNotFound =
                QStringLiteral("It is an %1 address, and %2.")
                    .arg(FamilyName(resolution.typedAddress->family()), ruledOut(choice));
            return resolution;
        }
        // Probing needs no name: the reverse lookup runs beside the trace (lookUpName).
        resolution.address = resolution.typedAddress;
    } else if (IpAddress::LooksLikeV6(text)) {
        // No name has a ':' in it: say what is wrong with the address instead of asking the
        // resolver.
        resolution.whyNotFound = QString::fromStdString(IpAddress::WhyNotAnAddress(text));
        return resolution;
    } else {
        const std::optional<HostEntry> host = names.LookupHost(text);
        if (!host) return resolution;
        for (const IpAddress& candidate : host->addresses) {
            if (allowed(choice, candidate)) {
                resolution.address = candidate;
                break;
            }
        }
        if (!resolution.address) {
            resolution.whyNotFound =
                QStringLiteral("It has no %1 address.")
                    .arg(choice == AddressChoice::V4Only ? QStringLiteral("IPv4")
                                                         : QStringLiteral("IPv6"));
            return resolution;
        }
        resolution.hostName = QString::fromStdString(host->officialName);
    }
    // Without a route every hop would just be lost; an IPv4 target is probed as it always was.
    if (resolution.address->isV6() && !SourceAddressToward(*resolution.address))
        resolution.noRoute = true;
    return resolution;
}

}  // namespace hoplark
