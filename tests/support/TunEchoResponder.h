#pragma once

#include <string>
#include <thread>
#include <vector>

namespace hoplark::test {

// A host with a known, fixed delay: a TUN device inside a namespace whose user-space end answers
// every ICMP echo request for `address` exactly `delayMs` later (held to the microsecond), and
// drops everything else. Route a subnet to interfaceName() to put the host behind a router.
// The device and its thread go away with the object.
//
// With `hopAddresses`, the element is also a router one hop in front of the host: a request that
// reaches it with one hop left to live gets Time Exceeded instead, from each of those addresses
// in turn, as a path whose next hop changes between probes (load balancing over equal routes).
class TunEchoResponder {
public:
    TunEchoResponder(const std::string& ns, const std::string& address, int delayMs,
                     const std::string& name = "hoplarkdelay",
                     const std::vector<std::string>& hopAddresses = {});
    ~TunEchoResponder();
    TunEchoResponder(const TunEchoResponder&) = delete;
    TunEchoResponder& operator=(const TunEchoResponder&) = delete;

    const std::string& interfaceName() const { return name_; }

private:
    void serve();

    std::string name_;
    uint32_t address_;
    std::vector<uint32_t> hopAddresses_;
    size_t nextHopAddress_ = 0;
    int delayMs_;
    int tunFd_ = -1;
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace hoplark::test
