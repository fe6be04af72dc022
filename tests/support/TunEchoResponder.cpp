#include "support/TunEchoResponder.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "probe/IcmpPacket.h"

namespace hoplark::test {
namespace {

void putChecksum(uint8_t* at, uint16_t checksum) {
    at[0] = static_cast<uint8_t>(checksum >> 8);
    at[1] = static_cast<uint8_t>(checksum);
}

// Turns an echo request for `address` into its reply in place; false for anything else.
bool makeReply(std::vector<uint8_t>& packet, uint32_t address) {
    if (packet.size() < IpHeaderMinSize + IcmpHeaderSize || (packet[0] >> 4) != 4) return false;
    const size_t headerLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (headerLength < IpHeaderMinSize || headerLength + IcmpHeaderSize > packet.size()) {
        return false;
    }
    uint32_t destination;
    std::memcpy(&destination, &packet[16], 4);
    if (packet[9] != 1 || destination != address || packet[headerLength] != IcmpEchoRequest) {
        return false;
    }
    std::swap_ranges(packet.begin() + 12, packet.begin() + 16, packet.begin() + 16);
    packet[8] = 64;
    packet[10] = packet[11] = 0;
    putChecksum(&packet[10], InternetChecksum(packet.data(), headerLength));
    uint8_t* icmp = &packet[headerLength];
    icmp[0] = IcmpEchoReply;
    icmp[2] = icmp[3] = 0;
    putChecksum(icmp + 2, InternetChecksum(icmp, packet.size() - headerLength));
    return true;
}

// Whether `packet` is an echo request for `address` that has one hop left to live.
bool expiresHere(const std::vector<uint8_t>& packet, uint32_t address) {
    if (packet.size() < IpHeaderMinSize + IcmpHeaderSize || (packet[0] >> 4) != 4) return false;
    const size_t headerLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (headerLength < IpHeaderMinSize || headerLength + IcmpHeaderSize > packet.size()) {
        return false;
    }
    uint32_t destination;
    std::memcpy(&destination, &packet[16], 4);
    return packet[9] == 1 && destination == address && packet[headerLength] == IcmpEchoRequest &&
           packet[8] <= 1;
}

// Time Exceeded from `from` for `request`, quoting its IP header and first eight data bytes.
std::vector<uint8_t> timeExceeded(const std::vector<uint8_t>& request, uint32_t from) {
    const size_t headerLength = static_cast<size_t>(request[0] & 0x0F) * 4;
    const size_t quoted = std::min(request.size(), headerLength + 8);
    std::vector<uint8_t> packet(IpHeaderMinSize + IcmpHeaderSize + quoted, 0);
    const size_t total = packet.size();
    packet[0] = 0x45;
    packet[2] = static_cast<uint8_t>(total >> 8);
    packet[3] = static_cast<uint8_t>(total);
    packet[8] = 64;
    packet[9] = 1;
    std::memcpy(&packet[12], &from, 4);
    std::memcpy(&packet[16], &request[12], 4);  // back to the request's source
    putChecksum(&packet[10], InternetChecksum(packet.data(), IpHeaderMinSize));
    uint8_t* icmp = &packet[IpHeaderMinSize];
    icmp[0] = IcmpTimeExceeded;
    std::memcpy(icmp + IcmpHeaderSize, request.data(), quoted);
    putChecksum(icmp + 2, InternetChecksum(icmp, IcmpHeaderSize + quoted));
    return packet;
}

}  // namespace

TunEchoResponder::TunEchoResponder(const std::string& ns, const std::string& address,
                                   std::chrono::microseconds delay, const std::string& name,
                                   const std::vector<std::string>& hopAddresses)
    : address_(inet_addr(address.c_str())) {
    for (const std::string& hop : hopAddresses)
        hopAddresses_.push_back(inet_addr(hop.c_str()));
    line_ = std::make_unique<TunDelayLine>(
        ns, name, delay, [this](std::vector<uint8_t>& packet) { return answer(packet); });
}

bool TunEchoResponder::answer(std::vector<uint8_t>& packet) {
    if (!hopAddresses_.empty() && expiresHere(packet, address_)) {
        const uint32_t from = hopAddresses_[nextHopAddress_++ % hopAddresses_.size()];
        packet = timeExceeded(packet, from);
        return true;
    }
    return makeReply(packet, address_);
}

}  // namespace hoplark::test
