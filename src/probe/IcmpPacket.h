#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "probe/IpAddress.h"

namespace hoplark {

// ICMP message types the echo facility cares about.
inline constexpr uint8_t IcmpEchoReply = 0;
inline constexpr uint8_t IcmpDestinationUnreachable = 3;
inline constexpr uint8_t IcmpSourceQuench = 4;
inline constexpr uint8_t IcmpRedirect = 5;
inline constexpr uint8_t IcmpEchoRequest = 8;
inline constexpr uint8_t IcmpTimeExceeded = 11;
inline constexpr uint8_t IcmpParameterProblem = 12;

// ICMPv6 message types the echo facility cares about.
inline constexpr uint8_t Icmp6DestinationUnreachable = 1;
inline constexpr uint8_t Icmp6PacketTooBig = 2;
inline constexpr uint8_t Icmp6TimeExceeded = 3;
inline constexpr uint8_t Icmp6ParameterProblem = 4;
inline constexpr uint8_t Icmp6EchoRequest = 128;
inline constexpr uint8_t Icmp6EchoReply = 129;

inline constexpr size_t Ip6HeaderSize = 40;

inline constexpr size_t IpHeaderMinSize = 20;
inline constexpr size_t IcmpHeaderSize = 8;

// Each request carries a per-probe nonce in its first data bytes (the rest stays 0xAA), so that a
// late answer to an older probe that had the same identifier and sequence is never taken for a
// newer one's. Requests with fewer data bytes carry as much of it as fits.
inline constexpr size_t EchoNonceSize = 8;
using EchoNonce = std::array<uint8_t, EchoNonceSize>;

// One received ICMP message that concerns an echo request: either an echo reply or an error
// quoting an echo request, of either family (the source's).
struct IcmpMessage {
    IpAddress source;  // who sent this message (the outer IP source)
    uint8_t type = 0;
    uint8_t code = 0;
    // For an echo reply its own identifier and sequence; for an error those of the quoted
    // echo request.
    uint16_t identifier = 0;
    uint16_t sequence = 0;
    // For an error: the destination of the quoted request. Unused for an echo reply.
    IpAddress quotedDestination;
    // The first data bytes of the echo (for an error: of the quoted request), as far as present.
    EchoNonce data{};
    uint8_t dataBytes = 0;

    bool isError() const { return type != (source.isV4() ? IcmpEchoReply : Icmp6EchoReply); }
};

// What an answer must show to belong to one sent request.
struct EchoKey {
    IpAddress destination;
    uint16_t identifier = 0;
    uint16_t sequence = 0;
    EchoNonce nonce{};
    // How many nonce bytes the request carried (its data size, at most EchoNonceSize).
    uint8_t nonceBytes = 0;
};

// Whether an ICMP message of this type ends an echo exchange: the echo reply, and the errors
// that say the request went no further. A redirect does not: the router that sends it has
// forwarded the request all the same, and the real answer is still to come. For ICMPv6 the same
// holds, with packet too big among the errors.
bool EndsEchoExchange(uint8_t type);
bool EndsEcho6Exchange(uint8_t type);

// Parses one packet as a raw ICMP socket delivers it (IP header, then ICMP). Returns nothing for
// anything that is not an echo reply or an error quoting an ICMP echo request (redirects
// included, see EndsEchoExchange), for a bad IP header or ICMP checksum, and for every packet
// whose lengths do not add up. Never reads outside [data, data + size).
std::optional<IcmpMessage> ParseIcmpPacket(const uint8_t* data, size_t size);

// Parses an echo reply as an ICMP datagram socket delivers it (ICMP header and data, no IP
// header; the kernel has checked the checksum). `source` is the sender from msg_name, and its
// family tells which echo reply type to expect.
std::optional<IcmpMessage> ParseDatagramReply(const uint8_t* icmp, size_t size,
                                              const IpAddress& source);

// Parses one packet as a raw ICMPv6 socket delivers it: the ICMPv6 message without the IPv6
// header, whose checksum the kernel has already verified (it drops a bad one). Takes echo
// replies and the errors that end an exchange, which must quote an IPv6 header (extension
// headers are skipped) and an echo request. `source` is the sender from msg_name. Never reads
// outside [data, data + size).
std::optional<IcmpMessage> ParseIcmp6Packet(const uint8_t* data, size_t size,
                                            const IpAddress& source);

// True when `message` answers the request described by `key`: the identifier and sequence must
// match, an error must quote the request's destination, and every nonce byte the request carried
// must come back (an error that quotes fewer data bytes is judged on what it quotes).
bool AnswersEcho(const IcmpMessage& message, const EchoKey& key);

// The RFC 1071 checksum over `size` bytes.
uint16_t InternetChecksum(const uint8_t* data, size_t size);

// An ICMP echo request (header, then `size` bytes of `data`) with its checksum filled in. For
// ICMPv6 the checksum covers a pseudo-header the kernel knows best, so it is left 0 for the
// kernel to fill in, as it does on both kinds of ICMPv6 socket.
std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence, const uint8_t* data,
                                      size_t size, AddressFamily family = AddressFamily::V4);

}  // namespace hoplark
