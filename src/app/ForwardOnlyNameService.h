#pragma once

#include "probe/NameService.h"

namespace hoplark {

// Forward lookups only (`--no-dns`): the target may still be a name, but no hop or target
// address is ever looked up in reverse.
class ForwardOnlyNameService : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string& name) override {
        return system_.LookupHost(name);
    }
    std::optional<std::string> LookupAddress(const IpAddress&) override { return std::nullopt; }

private:
    SystemNameService system_;
};

}  // namespace hoplark
