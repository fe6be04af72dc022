#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace hoplark::test {

// The true round trips of ICMP echo probes as they pass one interface, for judging what a tracer
// reports against what happened on the wire. A packet socket on the interface gets a copy of every
// packet that leaves or arrives there, stamped by the kernel at that moment (the copy is made as
// the packet passes, so the packet itself is not held up). An echo request going out is noted by
// its destination, identifier and sequence as they are on the wire: an ICMP datagram socket's
// kernel puts its own identifier in, so what the sender chose would not match. An answer coming in
// (an echo reply, or an error that quotes the request) completes the round trip of the request it
// names; a second answer to the same request counts no more.
//
// The socket belongs to the network namespace of the thread that makes the tap.
class WireTap {
public:
    struct RoundTrip {
        uint32_t from = 0;  // who answered, network byte order
        uint16_t identifier = 0;
        uint16_t sequence = 0;
        int64_t ns = 0;
    };

    explicit WireTap(const std::string& interfaceName);  // throws std::runtime_error
    // Only the matching, for packets from elsewhere (a test's own).
    WireTap() = default;
    ~WireTap();
    WireTap(const WireTap&) = delete;
    WireTap& operator=(const WireTap&) = delete;

    // Readable when the kernel holds copies not read yet.
    int fd() const { return socket_; }
    // Reads every copy the kernel holds and returns the round trips they complete.
    std::vector<RoundTrip> drain();
    // Copies the kernel had to drop because they were not read in time (its buffer was full).
    uint64_t dropped();

    // Takes one packet (IP header first) that went out (`outgoing`) or came in, stamped `stampNs`.
    std::optional<RoundTrip> observe(const uint8_t* packet, size_t size, bool outgoing,
                                     int64_t stampNs);

private:
    using Key = std::tuple<uint32_t, uint16_t, uint16_t>;  // destination, identifier, sequence

    int socket_ = -1;
    uint64_t dropped_ = 0;
    std::map<Key, int64_t> sent_;  // requests not answered yet, by when they left
};

}  // namespace hoplark::test
