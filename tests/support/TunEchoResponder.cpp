#include "support/TunEchoResponder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <stdexcept>
#include <vector>

#include "probe/IcmpPacket.h"

namespace hoplark::test {
namespace {

int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void sleepUntil(int64_t ns) {
    timespec until{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

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

TunEchoResponder::TunEchoResponder(const std::string& ns, const std::string& address, int delayMs,
                                   const std::string& name,
                                   const std::vector<std::string>& hopAddresses)
    : name_(name), address_(inet_addr(address.c_str())), delayMs_(delayMs) {
    for (const std::string& hop : hopAddresses)
        hopAddresses_.push_back(inet_addr(hop.c_str()));
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::promise<std::string> opened;
    auto result = opened.get_future();
    // The device belongs to the namespace of the thread that creates it, so a thread of its own
    // enters the namespace first.
    thread_ = std::thread([this, ns, &opened] {
        const int nsFd = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
            if (nsFd >= 0) close(nsFd);
            opened.set_value("cannot enter namespace " + ns);
            return;
        }
        close(nsFd);
        tunFd_ = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, name_.c_str(), IFNAMSIZ - 1);
        if (tunFd_ < 0 || ioctl(tunFd_, TUNSETIFF, &request) != 0) {
            opened.set_value("cannot create the TUN device");
            return;
        }
        // Answer on time even when the test machine is busy.
        sched_param realtime{};
        realtime.sched_priority = 10;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime);
        opened.set_value({});
        serve();
    });
    const std::string failure = result.get();
    if (!failure.empty()) {
        thread_.join();
        if (tunFd_ >= 0) close(tunFd_);
        close(stopFd_);
        throw std::runtime_error(failure);
    }
}

TunEchoResponder::~TunEchoResponder() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
    thread_.join();
    close(tunFd_);
    close(stopFd_);
}

void TunEchoResponder::serve() {
    struct Pending {
        int64_t dueNs;
        std::vector<uint8_t> packet;
    };
    std::deque<Pending> pending;  // in arrival order, so due times only grow
    const int64_t delayNs = static_cast<int64_t>(delayMs_) * 1'000'000;
    for (;;) {
        int timeoutMs = -1;
        if (!pending.empty()) {
            const int64_t leftNs = pending.front().dueNs - nowNs();
            // Wake a millisecond early and sleep the rest precisely.
            timeoutMs = leftNs > 1'000'000 ? static_cast<int>(leftNs / 1'000'000) - 1 : 0;
        }
        pollfd entries[2] = {{tunFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(entries, 2, timeoutMs) < 0 && errno != EINTR) return;
        if (entries[1].revents != 0) return;
        if (entries[0].revents & POLLIN) {
            std::vector<uint8_t> packet(65536);
            const ssize_t length = read(tunFd_, packet.data(), packet.size());
            const int64_t arrived = nowNs();
            if (length > 0) {
                packet.resize(static_cast<size_t>(length));
                if (!hopAddresses_.empty() && expiresHere(packet, address_)) {
                    const uint32_t from = hopAddresses_[nextHopAddress_++ % hopAddresses_.size()];
                    pending.push_back({arrived + delayNs, timeExceeded(packet, from)});
                } else if (makeReply(packet, address_)) {
                    pending.push_back({arrived + delayNs, std::move(packet)});
                }
            }
        }
        while (!pending.empty() && pending.front().dueNs - nowNs() <= 1'000'000) {
            sleepUntil(pending.front().dueNs);
            const auto& reply = pending.front().packet;
            [[maybe_unused]] ssize_t written = write(tunFd_, reply.data(), reply.size());
            pending.pop_front();
        }
    }
}

}  // namespace hoplark::test
