#include "support/WireTap.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "probe/IcmpPacket.h"
#include "support/StampedPacket.h"

namespace hoplark::test {
namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t readAddress(const uint8_t* p) {
    uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Only IPv4 ICMP is copied to the tap: the rest of what passes would cost the kernel a copy
// for nothing. The filter sees the packet from its IP header on (a datagram packet socket).
void attachIcmpFilter(int fd) {
    sock_filter code[] = {
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PROTOCOL)},
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 3, ETH_P_IP},
        {BPF_LD | BPF_B | BPF_ABS, 0, 0, 9},
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 1, IPPROTO_ICMP},
        {BPF_RET | BPF_K, 0, 0, 0xFFFF},
        {BPF_RET | BPF_K, 0, 0, 0},
    };
    sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
    // Without it the tap still works, only with more copies to skip.
    setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

// Unanswered requests older than this are forgotten when the table grows large.
constexpr int64_t ForgetNs = 60'000'000'000;
constexpr size_t PruneAbove = 65536;

}  // namespace

WireTap::WireTap(const std::string& interfaceName) {
    // Protocol 0 at first: the socket takes nothing until it is bound to the one interface.
    socket_ = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ < 0) throw std::runtime_error("cannot open a packet socket (needs root)");
    attachIcmpFilter(socket_);
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_ALL);
    where.sll_ifindex = static_cast<int>(if_nametoindex(interfaceName.c_str()));
    const int on = 1;
    // Room for a long run's copies between reads: the reader wakes up only now and then, so that
    // its wake-ups do not compete with the tracer being watched.
    const int bufferBytes = 8 << 20;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes);
    if (where.sll_ifindex == 0 ||
        bind(socket_, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        close(socket_);
        throw std::runtime_error("cannot tap interface " + interfaceName);
    }
    // Copies stamped only when drain() reads them would time the reader, not the wire.
    if (!WaitForArrivalStamps(std::chrono::seconds(10))) {
        close(socket_);
        throw std::runtime_error("the kernel does not stamp packets as they arrive");
    }
}

WireTap::~WireTap() {
    if (socket_ >= 0) close(socket_);
}

std::vector<WireTap::RoundTrip> WireTap::drain() {
    std::vector<RoundTrip> trips;
    if (socket_ < 0) return trips;
    uint8_t buffer[65536];
    for (;;) {
        sockaddr_ll from{};
        int64_t stampNs = -1;
        const ssize_t got =
            ReceiveStampedPacket(socket_, buffer, sizeof buffer, MSG_DONTWAIT, from, stampNs);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        if (stampNs < 0 || ntohs(from.sll_protocol) != ETH_P_IP) continue;
        if (from.sll_pkttype != PACKET_OUTGOING && from.sll_pkttype != PACKET_HOST) continue;
        if (auto trip = observe(buffer, static_cast<size_t>(got),
                                from.sll_pkttype == PACKET_OUTGOING, stampNs)) {
            trips.push_back(*trip);
        }
    }
    return trips;
}

uint64_t WireTap::dropped() {
    tpacket_stats stats{};
    socklen_t length = sizeof stats;
    // The kernel's counts start again from 0 with every read.
    if (socket_ >= 0 && getsockopt(socket_, SOL_PACKET, PACKET_STATISTICS, &stats, &length) == 0) {
        dropped_ += stats.tp_drops;
    }
    return dropped_;
}

std::optional<WireTap::RoundTrip> WireTap::observe(const uint8_t* packet, size_t size,
                                                   bool outgoing, int64_t stampNs) {
    if (outgoing) {
        if (size < IpHeaderMinSize || (packet[0] >> 4) != 4 || packet[9] != IPPROTO_ICMP) {
            return std::nullopt;
        }
        const size_t headerLength = static_cast<size_t>(packet[0] & 0x0F) * 4;
        if (headerLength < IpHeaderMinSize || size < headerLength + IcmpHeaderSize) {
            return std::nullopt;
        }
        const uint8_t* icmp = packet + headerLength;
        if (icmp[0] != IcmpEchoRequest) return std::nullopt;
        if (sent_.size() > PruneAbove) {
            std::erase_if(sent_,
                          [&](const auto& item) { return stampNs - item.second > ForgetNs; });
        }
        sent_[{readAddress(packet + 16), readU16(icmp + 4), readU16(icmp + 6)}] = stampNs;
        return std::nullopt;
    }
    const auto answer = ParseIcmpPacket(packet, size);
    if (!answer) return std::nullopt;
    const uint32_t destination =
        answer->isError() ? answer->quotedDestination.v4() : answer->source.v4();
    const auto request = sent_.find({destination, answer->identifier, answer->sequence});
    if (request == sent_.end()) return std::nullopt;
    RoundTrip trip{answer->source.v4(), answer->identifier, answer->sequence,
                   stampNs - request->second};
    sent_.erase(request);
    return trip;
}

}  // namespace hoplark::test
