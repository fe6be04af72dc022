#pragma once

#include <optional>
#include <string>
#include <vector>

#include "probe/IpAddress.h"

namespace hoplark {

// What a forward lookup gives: the official name and every address, IPv4 and IPv6 alike, in
// the order the resolver gave them (its own preference: RFC 6724 and /etc/gai.conf).
struct HostEntry {
    std::string officialName;
    std::vector<IpAddress> addresses;
};

// Forward and reverse lookups. Every call blocks; concurrent calls on different threads do not
// disturb one another. Tests substitute their own.
class NameService {
public:
    virtual ~NameService() = default;
    // The host's official name and addresses, or nothing when it cannot be resolved.
    virtual std::optional<HostEntry> LookupHost(const std::string& name) = 0;
    // The reverse name of an address, or nothing when there is none.
    virtual std::optional<std::string> LookupAddress(const IpAddress& address) = 0;
};

// The system resolver (getaddrinfo / getnameinfo).
class SystemNameService : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string& name) override;
    std::optional<std::string> LookupAddress(const IpAddress& address) override;
};

}  // namespace hoplark
