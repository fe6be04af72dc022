// Feeds arbitrary bytes to the parsers of what recvmsg() returns from an ICMP socket: the
// control messages (time stamps, extended errors with their offender) and an error-queue
// entry's quoted request. Input layout: 2 bytes control length (little endian, cut to what is
// there), 4 bytes msg_name address, the control bytes, then the payload. A control length with
// its top bit set stands for an IPv6 socket: the msg_name address is then the IPv4 bytes
// mapped into IPv6 (::ffff:a.b.c.d), so the seeds of both families share one layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "probe/ControlMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    size_t controlSize = static_cast<size_t>(data[0]) | (static_cast<size_t>(data[1] & 0x7F) << 8);
    const bool v6 = (data[1] & 0x80) != 0;
    uint32_t quotedV4;
    std::memcpy(&quotedV4, data + 2, 4);
    uint8_t mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    std::memcpy(mapped + 12, data + 2, 4);
    const hoplark::IpAddress quotedDestination =
        v6 ? hoplark::IpAddress::fromV6(mapped) : hoplark::IpAddress::fromV4(quotedV4);
    data += 6;
    size -= 6;
    if (controlSize > size) controlSize = size;
    // Exact-size copies, so that a read one past either end is out of bounds.
    std::vector<uint8_t> control(data, data + controlSize);
    std::vector<uint8_t> payload(data + controlSize, data + size);
    control.shrink_to_fit();
    payload.shrink_to_fit();

    const hoplark::ReceivedControl parsed =
        hoplark::ParseControlMessages(control.data(), control.size());
    if (parsed.stampNs && *parsed.stampNs < 0) std::abort();
    const hoplark::ErrorQueueEntry entry =
        hoplark::ParseErrorQueueEntry(parsed, payload.data(), payload.size(), quotedDestination);
    using Kind = hoplark::ErrorQueueEntry::Kind;
    if (entry.kind != Kind::Ignored && !parsed.hasError) std::abort();
    if (entry.kind == Kind::SendStamp && !parsed.stampNs) std::abort();
    if (entry.kind == Kind::IcmpError) {
        const hoplark::IcmpMessage& message = entry.message;
        const bool ends =
            v6 ? hoplark::EndsEcho6Exchange(message.type) : hoplark::EndsEchoExchange(message.type);
        if (!message.isError() || !ends) std::abort();
        if (message.source.family() != quotedDestination.family()) std::abort();
        if (message.quotedDestination != quotedDestination) std::abort();
        if (message.dataBytes > hoplark::EchoNonceSize ||
            message.dataBytes + hoplark::IcmpHeaderSize > payload.size()) {
            std::abort();
        }
        // An error quoting another destination never answers ours.
        mapped[15] ^= 1;
        const hoplark::IpAddress other = v6 ? hoplark::IpAddress::fromV6(mapped)
                                            : hoplark::IpAddress::fromV4(quotedV4 ^ 0x01000000u);
        hoplark::EchoKey key{other, message.identifier, message.sequence, message.data,
                             message.dataBytes};
        if (hoplark::AnswersEcho(message, key)) std::abort();
    }
    return 0;
}
