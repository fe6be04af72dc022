#include "probe/IpAddress.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace hoplark {

namespace {

// The plain dotted quad every probe's target and responder are written in: four decimal parts
// of at most 255 without leading zeros. Anything else is left to inet_aton, whose octal, hex and
// short forms read differently.
std::optional<uint32_t> ParsePlainDottedQuad(std::string_view text) {
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

void AppendDottedQuad(std::string& text, uint32_t networkOrder) {
    // Written by hand: inet_ntop formats through sprintf, which took a tenth of a worker's own
    // time.
    const uint32_t host = ntohl(networkOrder);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (host >> shift) & 0xFFu;
        if (part >= 100) text.push_back(static_cast<char>('0' + part / 100));
        if (part >= 10) text.push_back(static_cast<char>('0' + part / 10 % 10));
        text.push_back(static_cast<char>('0' + part % 10));
        if (shift > 0) text.push_back('.');
    }
}

// An interface name or number after '%'; nothing when there is no such interface.
std::optional<uint32_t> ZoneIndex(const std::string& zone) {
    if (zone.empty() || zone.size() >= IF_NAMESIZE) return std::nullopt;
    if (std::all_of(zone.begin(), zone.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (zone.size() > 9) return std::nullopt;
        const unsigned long value = std::stoul(zone);
        return value == 0 ? std::nullopt : std::optional<uint32_t>(static_cast<uint32_t>(value));
    }
    const unsigned index = if_nametoindex(zone.c_str());
    return index == 0 ? std::nullopt : std::optional<uint32_t>(index);
}

struct V6Parts {
    std::string address;
    std::string zone;
    bool hasZone = false;
};

// Strips brackets and splits off the zone; nothing when the brackets do not pair.
std::optional<V6Parts> SplitV6(std::string_view text) {
    if (!text.empty() && text.front() == '[') {
        if (text.size() < 2 || text.back() != ']') return std::nullopt;
        text = text.substr(1, text.size() - 2);
    } else if (!text.empty() && text.back() == ']') {
        return std::nullopt;
    }
    V6Parts parts;
    const size_t percent = text.find('%');
    parts.address = std::string(text.substr(0, percent));
    if (percent != std::string_view::npos) {
        parts.hasZone = true;
        parts.zone = std::string(text.substr(percent + 1));
    }
    return parts;
}

}  // namespace

IpAddress IpAddress::fromV4(uint32_t networkOrder) {
    IpAddress address;
    address.family_ = AddressFamily::V4;
    std::memcpy(address.bytes_.data(), &networkOrder, 4);
    return address;
}

IpAddress IpAddress::fromV6(const uint8_t (&bytes)[16], uint32_t scopeId) {
    IpAddress address;
    address.family_ = AddressFamily::V6;
    std::memcpy(address.bytes_.data(), bytes, 16);
    // A scope means something only for link-local addresses; elsewhere it would split one
    // router into two.
    const bool linkLocal = bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80;
    address.scopeId_ = linkLocal ? scopeId : 0;
    return address;
}

std::optional<IpAddress> IpAddress::fromSocketAddress(const sockaddr* address, socklen_t length) {
    if (address == nullptr) return std::nullopt;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        return fromV4(in.sin_addr.s_addr);
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        uint8_t bytes[16];
        std::memcpy(bytes, &in6.sin6_addr, 16);
        return fromV6(bytes, in6.sin6_scope_id);
    }
    return std::nullopt;
}

bool IpAddress::LooksLikeV6(std::string_view text) {
    return text.find(':') != std::string_view::npos;
}

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
    // Parsed for every probe, so the common form skips the library's general parsers.
    if (const auto plain = ParsePlainDottedQuad(text)) return fromV4(*plain);
    if (text.empty() || text.size() > 128) return std::nullopt;
    if (!LooksLikeV6(text)) {
        const std::string copy(text);
        if (copy.find('\0') != std::string::npos) return std::nullopt;
        in_addr v4{};
        // inet_aton takes the same forms as the classic inet_addr, and tells 255.255.255.255
        // apart.
        if (inet_aton(copy.c_str(), &v4) == 0) return std::nullopt;
        return fromV4(v4.s_addr);
    }
    const auto parts = SplitV6(text);
    if (!parts || parts->address.find('\0') != std::string::npos) return std::nullopt;
    in6_addr v6{};
    if (inet_pton(AF_INET6, parts->address.c_str(), &v6) != 1) return std::nullopt;
    uint8_t bytes[16];
    std::memcpy(bytes, &v6, 16);
    uint32_t scope = 0;
    if (parts->hasZone) {
        const auto index = ZoneIndex(parts->zone);
        if (!index) return std::nullopt;
        scope = *index;
    }
    return fromV6(bytes, scope);
}

std::string IpAddress::WhyNotAnAddress(std::string_view text) {
    if (Parse(text)) return {};
    if (!LooksLikeV6(text)) return "It is not an IPv4 address.";
    const auto parts = SplitV6(text);
    if (!parts) return "Its brackets do not pair.";
    in6_addr v6{};
    if (parts->address.find('\0') != std::string::npos ||
        inet_pton(AF_INET6, parts->address.c_str(), &v6) != 1) {
        return "It is not a valid IPv6 address: at most eight groups of up to four hex digits, "
               "separated by ':', with '::' at most once.";
    }
    return "Its zone \"" + parts->zone + "\" names no network interface of this machine.";
}

uint32_t IpAddress::v4() const {
    if (!isV4()) return 0;
    uint32_t value = 0;
    std::memcpy(&value, bytes_.data(), 4);
    return value;
}

std::string IpAddress::text() const {
    std::string out;
    if (isV4()) {
        out.reserve(15);
        AppendDottedQuad(out, v4());
        return out;
    }
    char buffer[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, bytes_.data(), buffer, sizeof buffer);
    out = buffer;
    if (scopeId_ != 0) {
        char name[IF_NAMESIZE] = {};
        out += '%';
        out += if_indextoname(scopeId_, name) != nullptr ? std::string(name)
                                                         : std::to_string(scopeId_);
    }
    return out;
}

socklen_t IpAddress::toSocketAddress(sockaddr_storage& out) const {
    out = sockaddr_storage{};
    if (isV4()) {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = v4();
        std::memcpy(&out, &in, sizeof in);
        return sizeof in;
    }
    sockaddr_in6 in6{};
    in6.sin6_family = AF_INET6;
    std::memcpy(&in6.sin6_addr, bytes_.data(), 16);
    in6.sin6_scope_id = scopeId_;
    std::memcpy(&out, &in6, sizeof in6);
    return sizeof in6;
}

bool operator<(const IpAddress& a, const IpAddress& b) {
    return std::tie(a.family_, a.bytes_, a.scopeId_) < std::tie(b.family_, b.bytes_, b.scopeId_);
}

size_t IpAddress::hash() const {
    // FNV-1a over the bytes that tell addresses apart.
    uint64_t value = 1469598103934665603ull ^ static_cast<uint64_t>(family_);
    for (size_t i = 0; i < size(); ++i)
        value = (value ^ bytes_[i]) * 1099511628211ull;
    value = (value ^ scopeId_) * 1099511628211ull;
    return static_cast<size_t>(value);
}

const char* FamilyName(AddressFamily family) {
    return family == AddressFamily::V4 ? "IPv4" : "IPv6";
}

}  // namespace hoplark
