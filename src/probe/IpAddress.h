#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hoplark {

enum class AddressFamily : uint8_t { V4, V6 };

// One IPv4 or IPv6 address, compared and hashed by its bytes (and, for a link-local IPv6
// address, its interface). Text appears only where an address is read from the user or a file,
// or shown: Parse() and text().
class IpAddress {
public:
    // 0.0.0.0; used only as a value to assign over.
    IpAddress() = default;

    // From a value in network byte order.
    static IpAddress fromV4(uint32_t networkOrder);
    static IpAddress fromV6(const uint8_t (&bytes)[16], uint32_t scopeId = 0);
    static std::optional<IpAddress> fromSocketAddress(const sockaddr* address, socklen_t length);

    // Reads an address as a user types it:
    //  - IPv4 dotted text with the classic inet_aton forms ("127.1", "0x7f.1", octal parts);
    //  - IPv6 text, optionally in brackets ("[::1]"), with an optional zone after '%' (an
    //    interface name or number: "fe80::1%eth0").
    // Nothing for anything else, surrounding blanks included.
    static std::optional<IpAddress> Parse(std::string_view text);
    // Why `text` is not an address, in one sentence for the user; empty when it is one.
    static std::string WhyNotAnAddress(std::string_view text);
    // True when the text can only have been meant as an IPv6 address (it has a ':').
    static bool LooksLikeV6(std::string_view text);

    AddressFamily family() const { return family_; }
    bool isV4() const { return family_ == AddressFamily::V4; }
    bool isV6() const { return family_ == AddressFamily::V6; }
    // The IPv4 value in network byte order; 0 for IPv6.
    uint32_t v4() const;
    // The 4 or 16 address bytes, in network order.
    const uint8_t* bytes() const { return bytes_.data(); }
    size_t size() const { return isV4() ? 4 : 16; }
    uint32_t scopeId() const { return scopeId_; }
    bool isLimitedBroadcast() const { return isV4() && v4() == 0xFFFFFFFFu; }

    // The canonical text: dotted decimal, or RFC 5952 IPv6 text with "%zone" when scoped.
    std::string text() const;

    // A socket address to send to; returns its length.
    socklen_t toSocketAddress(sockaddr_storage& out) const;

    friend bool operator==(const IpAddress& a, const IpAddress& b) {
        return a.family_ == b.family_ && a.scopeId_ == b.scopeId_ && a.bytes_ == b.bytes_;
    }
    friend bool operator!=(const IpAddress& a, const IpAddress& b) { return !(a == b); }
    friend bool operator<(const IpAddress& a, const IpAddress& b);

    size_t hash() const;

private:
    AddressFamily family_ = AddressFamily::V4;
    uint32_t scopeId_ = 0;
    std::array<uint8_t, 16> bytes_{};  // IPv4 uses the first four
};

// The family's name for messages: "IPv4" or "IPv6".
const char* FamilyName(AddressFamily family);

}  // namespace hoplark

template <>
struct std::hash<hoplark::IpAddress> {
    size_t operator()(const hoplark::IpAddress& address) const noexcept { return address.hash(); }
};
