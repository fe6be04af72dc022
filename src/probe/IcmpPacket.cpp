#include "probe/IcmpPacket.h"

namespace hoplark {
namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Network byte order kept as it is, the way addresses are stored everywhere else.
uint32_t readAddress(const uint8_t* p) {
    uint32_t value = 0;
    auto* out = reinterpret_cast<uint8_t*>(&value);
    for (int i = 0; i < 4; ++i)
        out[i] = p[i];
    return value;
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

constexpr uint8_t ProtocolIcmp = 1;

}  // namespace

bool EndsEchoExchange(uint8_t type) {
    return type == IcmpEchoReply || type == IcmpDestinationUnreachable ||
           type == IcmpSourceQuench || type == IcmpTimeExceeded || type == IcmpParameterProblem;
}

std::optional<IcmpMessage> ParseIcmpPacket(const uint8_t* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    const size_t outerLength = ipHeaderLength(data, size);
    if (outerLength == 0 || data[9] != ProtocolIcmp) return std::nullopt;
    const uint8_t* icmp = data + outerLength;
    const size_t icmpSize = size - outerLength;
    if (icmpSize < IcmpHeaderSize) return std::nullopt;

    IcmpMessage message;
    message.source = readAddress(data + 12);
    message.type = icmp[0];
    message.code = icmp[1];
    if (message.type == IcmpEchoReply) {
        message.identifier = readU16(icmp + 4);
        message.sequence = readU16(icmp + 6);
        return message;
    }
    if (!EndsEchoExchange(message.type)) return std::nullopt;

    // The error quotes the offending packet: its IP header (options included) and at least the
    // first 8 bytes of its payload, which for us is the echo request's header.
    const uint8_t* quoted = icmp + IcmpHeaderSize;
    const size_t quotedSize = icmpSize - IcmpHeaderSize;
    const size_t quotedLength = ipHeaderLength(quoted, quotedSize);
    if (quotedLength == 0 || quoted[9] != ProtocolIcmp) return std::nullopt;
    if (quotedSize - quotedLength < IcmpHeaderSize) return std::nullopt;
    const uint8_t* quotedIcmp = quoted + quotedLength;
    if (quotedIcmp[0] != IcmpEchoRequest) return std::nullopt;
    message.quotedDestination = readAddress(quoted + 16);
    message.identifier = readU16(quotedIcmp + 4);
    message.sequence = readU16(quotedIcmp + 6);
    return message;
}

bool AnswersEcho(const IcmpMessage& message, uint32_t destination, uint16_t identifier,
                 uint16_t sequence) {
    if (message.identifier != identifier || message.sequence != sequence) return false;
    return !message.isError() || message.quotedDestination == destination;
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
                                      size_t size) {
    std::vector<uint8_t> packet(IcmpHeaderSize + size, 0);
    for (size_t i = 0; i < size; ++i)
        packet[IcmpHeaderSize + i] = data[i];
    packet[0] = IcmpEchoRequest;
    packet[1] = 0;
    packet[2] = packet[3] = 0;
    packet[4] = static_cast<uint8_t>(identifier >> 8);
    packet[5] = static_cast<uint8_t>(identifier);
    packet[6] = static_cast<uint8_t>(sequence >> 8);
    packet[7] = static_cast<uint8_t>(sequence);
    const uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<uint8_t>(checksum >> 8);
    packet[3] = static_cast<uint8_t>(checksum);
    return packet;
}

}  // namespace hoplark
