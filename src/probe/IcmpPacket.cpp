#include "probe/IcmpPacket.h"

#include <algorithm>

namespace hoplark {
namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

IpAddress readAddress(const uint8_t* p) {
    uint32_t value = 0;
    auto* out = reinterpret_cast<uint8_t*>(&value);
    for (int i = 0; i < 4; ++i)
        out[i] = p[i];
    return IpAddress::fromV4(value);
}

IpAddress readAddress6(const uint8_t* p) {
    uint8_t bytes[16];
    std::copy(p, p + 16, bytes);
    return IpAddress::fromV6(bytes);
}

// The length of the IPv4 header at `p`, or 0 when it is not a well-formed IPv4 header that
// fits in `size` bytes.
size_t ipHeaderLength(const uint8_t* p, size_t size) {
    if (size < IpHeaderMinSize) return 0;
    if ((p[0] >> 4) != 4) return 0;
    const size_t length = static_cast<size_t>(p[0] & 0x0F) * 4;
    if (length < IpHeaderMinSize || length > size) return 0;
    return length;
}

// Copies up to EchoNonceSize leading data bytes of an echo message into `message`.
void takeData(IcmpMessage& message, const uint8_t* data, size_t size) {
    const size_t count = std::min(size, EchoNonceSize);
    std::copy(data, data + count, message.data.begin());
    message.dataBytes = static_cast<uint8_t>(count);
}

// Completes an error message from the echo request quoted `headerLength` bytes into `quoted`
// (after the quoted IP header), which went to `destination`; nothing when no echo request of
// `requestType` fits there.
std::optional<IcmpMessage> takeQuotedEcho(IcmpMessage message, const uint8_t* quoted,
                                          size_t quotedSize, size_t headerLength,
                                          uint8_t requestType, const IpAddress& destination) {
    if (quotedSize - headerLength < IcmpHeaderSize) return std::nullopt;
    const uint8_t* quotedIcmp = quoted + headerLength;
    if (quotedIcmp[0] != requestType) return std::nullopt;
    message.quotedDestination = destination;
    message.identifier = readU16(quotedIcmp + 4);
    message.sequence = readU16(quotedIcmp + 6);
    takeData(message, quotedIcmp + IcmpHeaderSize, quotedSize - headerLength - IcmpHeaderSize);
    return message;
}

// The quoted header carries no zone: a link-local destination is judged on its bytes.
bool sameHost(const IpAddress& quoted, const IpAddress& destination) {
    if (quoted.family() != destination.family()) return false;
    return std::equal(quoted.bytes(), quoted.bytes() + quoted.size(), destination.bytes());
}

constexpr uint8_t ProtocolIcmp = 1;
constexpr uint8_t ProtocolIcmp6 = 58;

// The offset of the upper-layer header inside a quoted IPv6 packet of `size` bytes, skipping the
// extension headers a router may quote; 0 when it is not ICMPv6 or the chain does not fit.
size_t quotedIcmp6Offset(const uint8_t* p, size_t size) {
    if (size < Ip6HeaderSize || (p[0] >> 4) != 6) return 0;
    uint8_t next = p[6];
    size_t offset = Ip6HeaderSize;
    for (int headers = 0; headers < 8; ++headers) {
        switch (next) {
            case ProtocolIcmp6:
                return offset;
            case 0:     // hop-by-hop options
            case 43:    // routing
            case 60: {  // destination options
                if (size - offset < 8) return 0;
                const size_t length = (static_cast<size_t>(p[offset + 1]) + 1) * 8;
                if (length > size - offset) return 0;
                next = p[offset];
                offset += length;
                break;
            }
            case 44:  // fragment: only the first fragment carries our header
                if (size - offset < 8) return 0;
                if ((readU16(p + offset + 2) & 0xFFF8) != 0) return 0;
                next = p[offset];
                offset += 8;
                break;
            default:
                return 0;
        }
    }
    return 0;
}

}  // namespace

bool EndsEchoExchange(uint8_t type) {
    return type == IcmpEchoReply || type == IcmpDestinationUnreachable ||
           type == IcmpSourceQuench || type == IcmpTimeExceeded || type == IcmpParameterProblem;
}

bool EndsEcho6Exchange(uint8_t type) {
    return type == Icmp6EchoReply || type == Icmp6DestinationUnreachable ||
           type == Icmp6PacketTooBig || type == Icmp6TimeExceeded || type == Icmp6ParameterProblem;
}

std::optional<IcmpMessage> ParseIcmpPacket(const uint8_t* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    const size_t outerLength = ipHeaderLength(data, size);
    if (outerLength == 0 || data[9] != ProtocolIcmp) return std::nullopt;
    const uint8_t* icmp = data + outerLength;
    const size_t icmpSize = size - outerLength;
    if (icmpSize < IcmpHeaderSize) return std::nullopt;
    // A raw socket gets every ICMP packet before the kernel's own ICMP code has checked it, so
    // a corrupted (or carelessly forged) answer is ours to refuse.
    if (InternetChecksum(data, outerLength) != 0 || InternetChecksum(icmp, icmpSize) != 0) {
        return std::nullopt;
    }

    IcmpMessage message;
    message.source = readAddress(data + 12);
    message.type = icmp[0];
    message.code = icmp[1];
    if (message.type == IcmpEchoReply) {
        message.identifier = readU16(icmp + 4);
        message.sequence = readU16(icmp + 6);
        takeData(message, icmp + IcmpHeaderSize, icmpSize - IcmpHeaderSize);
        return message;
    }
    if (!EndsEchoExchange(message.type)) return std::nullopt;

    // The error quotes the offending packet: its IP header (options included) and at least the
    // first 8 bytes of its payload, which for us is the echo request's header; most routers
    // quote more, and then the request's data too.
    const uint8_t* quoted = icmp + IcmpHeaderSize;
    const size_t quotedSize = icmpSize - IcmpHeaderSize;
    const size_t quotedLength = ipHeaderLength(quoted, quotedSize);
    if (quotedLength == 0 || quoted[9] != ProtocolIcmp) return std::nullopt;
    return takeQuotedEcho(message, quoted, quotedSize, quotedLength, IcmpEchoRequest,
                          readAddress(quoted + 16));
}

std::optional<IcmpMessage> ParseDatagramReply(const uint8_t* icmp, size_t size,
                                              const IpAddress& source) {
    const uint8_t reply = source.isV4() ? IcmpEchoReply : Icmp6EchoReply;
    if (icmp == nullptr || size < IcmpHeaderSize || icmp[0] != reply) return std::nullopt;
    IcmpMessage message;
    message.source = source;
    message.type = icmp[0];
    message.code = icmp[1];
    message.identifier = readU16(icmp + 4);
    message.sequence = readU16(icmp + 6);
    takeData(message, icmp + IcmpHeaderSize, size - IcmpHeaderSize);
    return message;
}

std::optional<IcmpMessage> ParseIcmp6Packet(const uint8_t* data, size_t size,
                                            const IpAddress& source) {
    if (data == nullptr || size < IcmpHeaderSize || !source.isV6()) return std::nullopt;
    if (data[0] == Icmp6EchoReply) return ParseDatagramReply(data, size, source);
    if (!EndsEcho6Exchange(data[0])) return std::nullopt;
    IcmpMessage message;
    message.source = source;
    message.type = data[0];
    message.code = data[1];
    // The error quotes as much of the offending packet as fits: its IPv6 header, any extension
    // headers, then our echo request's header and data.
    const uint8_t* quoted = data + IcmpHeaderSize;
    const size_t quotedSize = size - IcmpHeaderSize;
    const size_t offset = quotedIcmp6Offset(quoted, quotedSize);
    if (offset == 0) return std::nullopt;
    return takeQuotedEcho(message, quoted, quotedSize, offset, Icmp6EchoRequest,
                          readAddress6(quoted + 24));
}

bool AnswersEcho(const IcmpMessage& message, const EchoKey& key) {
    if (message.identifier != key.identifier || message.sequence != key.sequence) return false;
    if (message.source.family() != key.destination.family()) return false;
    if (message.isError() && !sameHost(message.quotedDestination, key.destination)) return false;
    const size_t needed = std::min<size_t>(key.nonceBytes, EchoNonceSize);
    // An echo reply carries all the data back; an error may quote only part of it.
    const size_t compared =
        message.isError() ? std::min<size_t>(needed, message.dataBytes) : needed;
    if (!message.isError() && message.dataBytes < needed) return false;
    return std::equal(key.nonce.begin(), key.nonce.begin() + compared, message.data.begin());
}

uint16_t InternetChecksum(const uint8_t* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += readU16(data + i);
    if (size % 2 != 0) sum += static_cast<uint32_t>(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

std::vector<uint8_t> BuildEchoRequest(uint16_t identifier, uint16_t sequence, const uint8_t* data,
                                      size_t size, AddressFamily family) {
    std::vector<uint8_t> packet(IcmpHeaderSize + size, 0);
    if (size > 0) std::copy(data, data + size, packet.begin() + IcmpHeaderSize);
    packet[0] = family == AddressFamily::V4 ? IcmpEchoRequest : Icmp6EchoRequest;
    packet[1] = 0;
    packet[2] = packet[3] = 0;
    packet[4] = static_cast<uint8_t>(identifier >> 8);
    packet[5] = static_cast<uint8_t>(identifier);
    packet[6] = static_cast<uint8_t>(sequence >> 8);
    packet[7] = static_cast<uint8_t>(sequence);
    if (family == AddressFamily::V6) return packet;
    const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<uint8_t>(checksum >> 8);
    packet[3] = static_cast<uint8_t>(checksum);
    return packet;
}

}  // namespace hoplark
