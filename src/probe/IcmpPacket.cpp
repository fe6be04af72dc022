#include "probe/IcmpPacket.h"

#include <algorithm>

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

// Copies up to EchoNonceSize leading data bytes of an echo message into `message`.
void takeData(IcmpMessage& message, const uint8_t* data, size_t size) {
    const size_t count = std::min(size, EchoNonceSize);
    std::copy(data, data + count, message.data.begin());
    message.dataBytes = static_cast<uint8_t>(count);
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
    if (quotedSize - quotedLength < IcmpHeaderSize) return std::nullopt;
    const uint8_t* quotedIcmp = quoted + quotedLength;
    if (quotedIcmp[0] != IcmpEchoRequest) return std::nullopt;
    message.quotedDestination = readAddress(quoted + 16);
    message.identifier = readU16(quotedIcmp + 4);
    message.sequence = readU16(quotedIcmp + 6);
    takeData(message, quotedIcmp + IcmpHeaderSize, quotedSize - quotedLength - IcmpHeaderSize);
    return message;
}

std::optional<IcmpMessage> ParseDatagramReply(const uint8_t* icmp, size_t size, uint32_t source) {
    if (icmp == nullptr || size < IcmpHeaderSize || icmp[0] != IcmpEchoReply) return std::nullopt;
    IcmpMessage message;
    message.source = source;
    message.type = icmp[0];
    message.code = icmp[1];
    message.identifier = readU16(icmp + 4);
    message.sequence = readU16(icmp + 6);
    takeData(message, icmp + IcmpHeaderSize, size - IcmpHeaderSize);
    return message;
}

bool AnswersEcho(const IcmpMessage& message, const EchoKey& key) {
    if (message.identifier != key.identifier || message.sequence != key.sequence) return false;
    if (message.isError() && message.quotedDestination != key.destination) return false;
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
                                      size_t size) {
    std::vector<uint8_t> packet(IcmpHeaderSize + size, 0);
    if (size > 0) std::copy(data, data + size, packet.begin() + IcmpHeaderSize);
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
