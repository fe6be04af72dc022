#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>

#include "app/BoundedNameService.h"
#include "support/Addresses.h"

namespace hoplark {
namespace {

// Answers at once for most addresses; the ones in `held` wait until the test lets them go,
// as a resolver that does not answer.
class HeldNames : public NameService {
public:
    explicit HeldNames(std::set<IpAddress> held) : held_(std::move(held)) {}
    std::optional<HostEntry> LookupHost(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(const IpAddress& address) override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [&] { return !held_.count(address); });
        return "host-" + address.text();
    }
    void release(const IpAddress& address) {
        std::lock_guard lock(mutex_);
        held_.erase(address);
        released_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::set<IpAddress> held_;
};

TEST(BoundedNameService, GivesUpOnlyOnceNothingButLookupsIsLeft) {
    const IpAddress quick = Ip("10.0.0.1");
    const IpAddress slow = Ip("10.0.0.2");
    const IpAddress silent = Ip("10.0.0.3");
    const IpAddress alsoSilent = Ip("10.0.0.4");
    auto resolver = std::make_shared<HeldNames>(std::set<IpAddress>{slow, silent, alsoSilent});
    BoundedNameService names(resolver);
    std::atomic<bool> onlyLookupsLeft = false;
    names.limitWait([&](int) { return onlyLookupsLeft.load(); }, std::chrono::milliseconds(0));

    EXPECT_EQ(names.LookupAddress(quick), "host-10.0.0.1");
    // While probes are still out, a slow name is waited for however long it takes.
    auto slowName = std::async(std::launch::async, [&] { return names.LookupAddress(slow); });
    resolver->release(slow);
    EXPECT_EQ(slowName.get(), "host-10.0.0.2");
    EXPECT_EQ(names.namesGivenUp(), 0);

    // Names that never come are given up once only lookups are left; an address asked for
    // twice counts once.
    std::vector<std::future<std::optional<std::string>>> waiting;
    for (IpAddress address : {silent, silent, alsoSilent})
        waiting.push_back(std::async(std::launch::async,
                                     [&names, address] { return names.LookupAddress(address); }));
    onlyLookupsLeft = true;
    for (auto& name : waiting)
        EXPECT_EQ(name.get(), std::nullopt);
    EXPECT_EQ(names.namesGivenUp(), 2);

    // The resolver's own calls end by themselves later; their answers go nowhere.
    resolver->release(silent);
    resolver->release(alsoSilent);
}

}  // namespace
}  // namespace hoplark
