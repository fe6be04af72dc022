#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/TunDelayLine.h"

namespace hoplark::test {

// A host with a known, fixed delay: a TUN device inside a namespace whose user-space end answers
// every ICMP echo request for `address` exactly `delay` later (held to a few microseconds), and
// drops everything else. Route a subnet to interfaceName() to put the host behind a router.
// The device and its thread go away with the object.
//
// With `hopAddresses`, the element is also a router one hop in front of the host: a request that
// reaches it with one hop left to live gets Time Exceeded instead, from each of those addresses
// in turn, as a path whose next hop changes between probes (load balancing over equal routes).
class TunEchoResponder {
public:
    TunEchoResponder(const std::string& ns, const std::string& address,
                     std::chrono::microseconds delay, const std::string& name = "hoplarkdelay",
                     const std::vector<std::string>& hopAddresses = {});
    TunEchoResponder(const std::string& ns, const std::string& address, int delayMs,
                     const std::string& name = "hoplarkdelay",
                     const std::vector<std::string>& hopAddresses = {})
        : TunEchoResponder(ns, address, std::chrono::milliseconds(delayMs), name, hopAddresses) {}
    TunEchoResponder(const TunEchoResponder&) = delete;
    TunEchoResponder& operator=(const TunEchoResponder&) = delete;

    const std::string& interfaceName() const { return line_->interfaceName(); }

private:
    // Turns a request into what the host (or the router in front of it) sends back.
    bool answer(std::vector<uint8_t>& packet);

    uint32_t address_;
    std::vector<uint32_t> hopAddresses_;
    size_t nextHopAddress_ = 0;  // used by the line's thread only
    std::unique_ptr<TunDelayLine> line_;
};

}  // namespace hoplark::test
