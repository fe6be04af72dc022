#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace hoplark {

// The value that stands for "no address" (and, equally, 255.255.255.255).
inline constexpr uint32_t NoAddress = 0xFFFFFFFFu;

// Dotted IPv4 text to an address in network byte order, with the classic inet_addr rules
// (so "127.1" and "0177.0.0.1" are accepted); NoAddress when the text is not an address.
uint32_t InetAddr(const std::string& text);

// An address in network byte order as plain dotted text ("127.0.0.1").
std::string InetNtoa(uint32_t address);

// What a forward lookup gives: the official name and the first IPv4 address.
struct HostEntry {
    std::string officialName;
    uint32_t firstAddress = NoAddress;  // network byte order
};

// Forward and reverse lookups. Every call blocks; concurrent calls on different threads do not
// disturb one another. Tests substitute their own.
class NameService {
public:
    virtual ~NameService() = default;
    // The host's official name and first IPv4 address, or nothing when it cannot be resolved.
    virtual std::optional<HostEntry> LookupHost(const std::string& name) = 0;
    // The reverse name of an address (network byte order), or nothing when there is none.
    virtual std::optional<std::string> LookupAddress(uint32_t address) = 0;
};

// The system resolver (getaddrinfo / getnameinfo).
class SystemNameService : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string& name) override;
    std::optional<std::string> LookupAddress(uint32_t address) override;
};

}  // namespace hoplark
