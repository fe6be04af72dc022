#include "probe/NameService.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>

namespace hoplark {

std::optional<HostEntry> SystemNameService::LookupHost(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return std::nullopt;
    }
    HostEntry entry;
    entry.officialName = result->ai_canonname ? result->ai_canonname : name;
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        const auto address = IpAddress::fromSocketAddress(ai->ai_addr, ai->ai_addrlen);
        if (address && std::find(entry.addresses.begin(), entry.addresses.end(), *address) ==
                           entry.addresses.end()) {
            entry.addresses.push_back(*address);
        }
    }
    freeaddrinfo(result);
    if (entry.addresses.empty()) return std::nullopt;
    return entry;
}

std::optional<std::string> SystemNameService::LookupAddress(const IpAddress& address) {
    sockaddr_storage socketAddress{};
    const socklen_t length = address.toSocketAddress(socketAddress);
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), length, host, sizeof host,
                    nullptr, 0, NI_NAMEREQD) != 0) {
        return std::nullopt;
    }
    return std::string(host);
}

}  // namespace hoplark
