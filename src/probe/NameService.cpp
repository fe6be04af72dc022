#include "probe/NameService.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace hoplark {

uint32_t InetAddr(const std::string& text) {
    in_addr address{};
    // inet_aton takes the same forms as the classic inet_addr, and tells 255.255.255.255 apart.
    if (inet_aton(text.c_str(), &address) == 0) return NoAddress;
    return address.s_addr;
}

std::string InetNtoa(uint32_t address) {
    char buffer[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, buffer, sizeof buffer);
    return buffer;
}

std::optional<HostEntry> SystemNameService::LookupHost(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_RAW;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
        return std::nullopt;
    }
    HostEntry entry;
    entry.officialName = result->ai_canonname ? result->ai_canonname : name;
    for (const addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
            sockaddr_in sin{};
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            entry.firstAddress = sin.sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(result);
    if (entry.firstAddress == NoAddress) return std::nullopt;
    return entry;
}

std::optional<std::string> SystemNameService::LookupAddress(uint32_t address) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = address;
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host, sizeof host, nullptr,
                    0, NI_NAMEREQD) != 0) {
        return std::nullopt;
    }
    return std::string(host);
}

}  // namespace hoplark
