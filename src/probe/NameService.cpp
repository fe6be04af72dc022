#include "probe/NameService.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace hoplark {

namespace {

// The plain dotted quad every probe's target and responder are written in: four decimal parts
// of at most 255 without leading zeros. Anything else is left to inet_aton, whose octal, hex and
// short forms read differently.
std::optional<uint32_t> ParsePlainDottedQuad(const std::string& text) {
    uint32_t address = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        const size_t start = at;
        uint32_t value = 0;
        while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
            value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
        const size_t digits = at - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
        address = (address << 8) | value;
    }
    if (at != text.size()) return std::nullopt;
    return htonl(address);
}

}  // namespace

uint32_t InetAddr(const std::string& text) {
    // Parsed for every probe and every answer, so the common form skips the library's general
    // parser.
    if (const auto plain = ParsePlainDottedQuad(text)) return *plain;
    in_addr address{};
    // inet_aton takes the same forms as the classic inet_addr, and tells 255.255.255.255 apart.
    if (inet_aton(text.c_str(), &address) == 0) return NoAddress;
    return address.s_addr;
}

std::string InetNtoa(uint32_t address) {
    // Written by hand: inet_ntop formats through sprintf, which took a tenth of a
    // worker's own time.
    const uint32_t host = ntohl(address);
    std::string text;
    text.reserve(INET_ADDRSTRLEN - 1);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (host >> shift) & 0xFFu;
        if (part >= 100) text.push_back(static_cast<char>('0' + part / 100));
        if (part >= 10) text.push_back(static_cast<char>('0' + part / 10 % 10));
        text.push_back(static_cast<char>('0' + part % 10));
        if (shift > 0) text.push_back('.');
    }
    return text;
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
