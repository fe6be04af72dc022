#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace hoplark {

// ICMP message types the echo facility cares about.
inline constexpr uint8_t IcmpEchoReply = 0;
inline constexpr uint8_t IcmpDestinationUnreachable = 3;
inline constexpr uint8_t IcmpSourceQuench = 4;
inline constexpr uint8_t IcmpRedirect = 5;
inline constexpr uint8_t IcmpEchoRequest = 8;
inline constexpr uint8_t IcmpTimeExceeded = 11;
inline constexpr uint8_t IcmpParameterProblem = 12;

inline constexpr size_t IpHeaderMinSize = 20;
inline constexpr size_t IcmpHeaderSize = 8;

// One received ICMP message that concerns an echo request: either an echo reply or an error
// quoting an echo request. All addresses are in network byte order.
struct IcmpMessage {
    uint32_t source = 0;  // who sent this message (the outer IP source)
    uint8_t type = 0;
    uint8_t code = 0;
    // For an echo reply its own identifier and sequence; for an error those of the quoted
    // echo request.
    uint16_t identifier = 0;
    uint16_t sequence = 0;
    // For an error: the destination of the quoted request. 0 for an echo reply.
    uint32_t quotedDestination = 0;

    bool isError() const { return type != IcmpEchoReply; }
};

// Whether an ICMP message of this type ends an echo exchange: the echo reply, and the errors
// that say the request went no further. A redirect does not: the router that sends it has
// forwarded the request all the same, and the real answer is still to come.
bool EndsEchoExchange(uint8_t type);

// Parses one packet as a raw ICMP socket delivers it (IP header, then ICMP). Returns nothing for
// anything that is not an echo reply or an error quoting an ICMP echo request (redirects
// included, see EndsEchoExchange), and for every
// packet whose lengths do not add up. Never reads outside [data, data + size).
std::optional<IcmpMessage> ParseIcmpPacket(const uint8_t* data, size_t size);

// True when `message` answers the echo request sent to `destination` with `identifier` and
// `sequence`: an echo reply must carry both numbers; an error must quote our destination and
// both numbers.
bool AnswersEcho(const IcmpMessage& message, uint32_t destination, uint16_t identifier,
                 uint16_t sequence);

// The RFC 1071 checksum over `size` bytes.
uint16_t InternetChecksum(const uint8_t* data, size_t size);

// An ICMP echo request (header, then `size` bytes of `data`) with its checksum filled in.
std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence, const uint8_t* data,
                                      size_t size);

}  // namespace hoplark
