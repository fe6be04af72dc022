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
        if (!message->isError() && message->quotedDestination != 0) std::abort();
        // A message always answers the request it names itself.
        if (!hoplark::AnswersEcho(*message, message->quotedDestination, message->identifier,
                                  message->sequence)) {
            std::abort();
        }
    }
    return 0;
}
