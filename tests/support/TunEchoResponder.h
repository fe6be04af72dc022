#pragma once

#include <string>
#include <thread>

namespace hoplark::test {

// A host with a known, fixed delay: a TUN device inside a namespace whose user-space end answers
// every ICMP echo request for `address` exactly `delayMs` later (held to the microsecond), and
// drops everything else. Route a subnet to interfaceName() to put the host behind a router.
// The device and its thread go away with the object.
class TunEchoResponder {
public:
    TunEchoResponder(const std::string& ns, const std::string& address, int delayMs);
    ~TunEchoResponder();
    TunEchoResponder(const TunEchoResponder&) = delete;
    TunEchoResponder& operator=(const TunEchoResponder&) = delete;

    const std::string& interfaceName() const { return name_; }

private:
    void serve();

    std::string name_ = "hoplarkdelay";
    uint32_t address_;
    int delayMs_;
    int tunFd_ = -1;
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace hoplark::test
