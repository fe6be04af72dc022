// Feeds arbitrary bytes to the ICMPv6 parsers as the raw and datagram sockets deliver them:
// the first 16 bytes are the sender from msg_name, the rest the ICMPv6 message. A parsed message
// must be consistent with what the matcher expects.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "probe/IcmpPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 16) return 0;
    uint8_t sourceBytes[16];
    std::memcpy(sourceBytes, data, 16);
    const hoplark::IpAddress source = hoplark::IpAddress::fromV6(sourceBytes);
    // An exact-size copy, so that a read one past the end is out of bounds.
    std::vector<uint8_t> packet(data + 16, data + size);
    packet.shrink_to_fit();
    for (const auto& message :
         {hoplark::ParseIcmp6Packet(packet.data(), packet.size(), source),
          hoplark::ParseDatagramReply(packet.data(), packet.size(), source)}) {
        if (!message) continue;
        if (message->source != source || !message->source.isV6()) std::abort();
        if (!hoplark::EndsEcho6Exchange(message->type)) std::abort();
        if (message->dataBytes > hoplark::EchoNonceSize) std::abort();
        hoplark::EchoKey key;
        key.destination = message->isError() ? message->quotedDestination : source;
        key.identifier = message->identifier;
        key.sequence = message->sequence;
        key.nonce = message->data;
        key.nonceBytes = message->dataBytes;
        if (!hoplark::AnswersEcho(*message, key)) std::abort();
        if (message->dataBytes > 0) {
            key.nonce[0] ^= 1;
            if (hoplark::AnswersEcho(*message, key)) std::abort();
        }
        // An IPv4 request is never answered by an ICMPv6 message.
        key.nonce[0] ^= 1;
        key.destination = hoplark::IpAddress::fromV4(0x0100000A);
        if (hoplark::AnswersEcho(*message, key)) std::abort();
    }
    return 0;
}
