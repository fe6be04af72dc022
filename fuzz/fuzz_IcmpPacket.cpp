// Feeds arbitrary bytes to the received-packet parser as the raw socket would deliver them.
// Any read outside the input is caught by the sanitizers; a parsed message must also be
// consistent with what the matcher expects.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "probe/IcmpPacket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that a read one past the end is out of bounds.
    std::vector<uint8_t> packet(data, data + size);
    packet.shrink_to_fit();
    const auto message = hoplark::ParseIcmpPacket(packet.data(), packet.size());
    if (message) {
        if (!message->isError() && message->quotedDestination != hoplark::IpAddress()) std::abort();
        if (message->dataBytes > hoplark::EchoNonceSize) std::abort();
        // A message always answers the request it names itself, nonce included...
        hoplark::EchoKey key;
        key.destination = message->quotedDestination;
        key.identifier = message->identifier;
        key.sequence = message->sequence;
        key.nonce = message->data;
        key.nonceBytes = message->dataBytes;
        if (!hoplark::AnswersEcho(*message, key)) std::abort();
        // ...and never one whose nonce differs in a byte it carries.
        if (message->dataBytes > 0) {
            key.nonce[0] ^= 1;
            if (hoplark::AnswersEcho(*message, key)) std::abort();
        }
        // The checksums were verified: the packet sums to zero past its IP header.
        const size_t header = static_cast<size_t>(packet[0] & 0x0F) * 4;
        if (hoplark::InternetChecksum(packet.data() + header, packet.size() - header) != 0) {
            std::abort();
        }
    }
    return 0;
}
