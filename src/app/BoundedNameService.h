#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "probe/NameService.h"

namespace hoplark {

// Reverse lookups a report waits for only so long. Until limitWait() is called every lookup is
// waited for as long as the resolver takes. From then on, as soon as nothing but lookups is left
// to wait for (the caller's `onlyLookupsLeft`, given how many lookups are under way), every
// lookup still under way is given `bound` more and then answered with no name; the resolver's
// call goes on by itself and its late answer is dropped. A resolver that never answers thus
// delays a report by the bound, not by its own time-out per name. Forward lookups pass through:
// there is nothing to probe without them.
class BoundedNameService : public NameService {
public:
    explicit BoundedNameService(std::shared_ptr<NameService> names);
    ~BoundedNameService() override;

    std::optional<HostEntry> LookupHost(const std::string& name) override;
    std::optional<std::string> LookupAddress(const IpAddress& address) override;

    // Safe from any thread. `onlyLookupsLeft` is called from the lookups' threads.
    void limitWait(std::function<bool(int lookupsUnderWay)> onlyLookupsLeft,
                   std::chrono::milliseconds bound);
    // How many different addresses were answered with no name because the bound ran out.
    int namesGivenUp() const;

private:
    struct Shared;
    std::shared_ptr<NameService> names_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace hoplark
