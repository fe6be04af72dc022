#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace hoplark::test {

// A forger of ICMP inside one network namespace (a router's or the target's): a raw ICMP socket
// there reads every echo request that reaches the namespace and hands it (IP header included)
// to `answer`, which says what to send back. Set net.ipv4.icmp_echo_ignore_all in that
// namespace to keep its kernel from answering as well. The socket and its thread go away with
// the object.
class IcmpInjector {
public:
    struct Forged {
        uint32_t to = 0;            // destination, network byte order
        std::vector<uint8_t> icmp;  // ICMP header and body, sent as they are (checksum included)
    };
    using Answer = std::function<std::vector<Forged>(const std::vector<uint8_t>& request)>;

    IcmpInjector(const std::string& ns, Answer answer);  // throws std::runtime_error
    ~IcmpInjector();
    IcmpInjector(const IcmpInjector&) = delete;
    IcmpInjector& operator=(const IcmpInjector&) = delete;

private:
    void serve();

    Answer answer_;
    int socket_ = -1;
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace hoplark::test
