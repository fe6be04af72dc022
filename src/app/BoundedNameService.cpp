#include "app/BoundedNameService.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace hoplark {

namespace {

// How often a waiting lookup asks whether only lookups are left, once the wait is limited:
// workers that end without a lookup tell no one.
constexpr std::chrono::milliseconds CheckInterval(20);

}  // namespace

struct BoundedNameService::Shared {
    std::mutex lock;
    std::condition_variable changed;
    int underWay = 0;
    std::function<bool(int)> onlyLookupsLeft;  // set once the wait is limited
    std::chrono::milliseconds bound{0};
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::set<IpAddress> givenUp;
};

// One lookup's answer, shared with the thread that waits for the resolver.
struct PendingName {
    bool done = false;
    std::optional<std::string> name;
};

BoundedNameService::BoundedNameService(std::shared_ptr<NameService> names)
    : names_(std::move(names)), shared_(std::make_shared<Shared>()) {}

BoundedNameService::~BoundedNameService() = default;

std::optional<HostEntry> BoundedNameService::LookupHost(const std::string& name) {
    return names_->LookupHost(name);
}

std::optional<std::string> BoundedNameService::LookupAddress(const IpAddress& address) {
    auto pending = std::make_shared<PendingName>();
    std::unique_lock lock(shared_->lock);
    ++shared_->underWay;
    std::thread([names = names_, shared = shared_, pending, address] {
        std::optional<std::string> name = names->LookupAddress(address);
        std::lock_guard answered(shared->lock);
        pending->name = std::move(name);
        pending->done = true;
        shared->changed.notify_all();
    }).detach();

    Shared& shared = *shared_;
    for (;;) {
        if (pending->done) break;
        const auto now = std::chrono::steady_clock::now();
        if (shared.onlyLookupsLeft && !shared.deadline && shared.onlyLookupsLeft(shared.underWay))
            shared.deadline = now + shared.bound;
        if (shared.deadline && now >= *shared.deadline) {
            shared.givenUp.insert(address);
            break;
        }
        if (!shared.onlyLookupsLeft) {
            shared.changed.wait(lock);
        } else if (shared.deadline) {
            shared.changed.wait_until(lock, *shared.deadline);
        } else {
            shared.changed.wait_for(lock, CheckInterval);
        }
    }
    --shared.underWay;
    return pending->done ? pending->name : std::nullopt;
}

void BoundedNameService::limitWait(std::function<bool(int)> onlyLookupsLeft,
                                   std::chrono::milliseconds bound) {
    std::lock_guard lock(shared_->lock);
    shared_->onlyLookupsLeft = std::move(onlyLookupsLeft);
    shared_->bound = bound;
    shared_->changed.notify_all();
}

int BoundedNameService::namesGivenUp() const {
    std::lock_guard lock(shared_->lock);
    return static_cast<int>(shared_->givenUp.size());
}

}  // namespace hoplark
