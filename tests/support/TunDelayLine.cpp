#include "support/TunDelayLine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_packet.h>
#include <linux/if_tun.h>
#include <net/ethernet.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <stdexcept>

#include "support/StampedPacket.h"

namespace hoplark::test {
namespace {

int64_t nowNs(clockid_t clock = CLOCK_MONOTONIC) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A packet socket on the device sees every packet the kernel sends into it, stamped by the
// kernel as it goes in. The stamp, not the moment the line's thread woke up to read the packet,
// is when the packet arrived: on a virtual machine that wake-up alone comes tens of microseconds
// late, and every line a packet passes would add it to the delay.
int openArrivalTap(const std::string& interfaceName) {
    const int tap = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL));
    if (tap < 0) return -1;
    sockaddr_ll where{};
    where.sll_family = AF_PACKET;
    where.sll_protocol = htons(ETH_P_ALL);
    ifreq device{};
    std::strncpy(device.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    if (ioctl(tap, SIOCGIFINDEX, &device) != 0) {
        close(tap);
        return -1;
    }
    where.sll_ifindex = device.ifr_ifindex;
    const int on = 1;
    if (bind(tap, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        setsockopt(tap, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        close(tap);
        return -1;
    }
    return tap;
}

// The kernel's stamp (in CLOCK_MONOTONIC nanoseconds) of the tapped copy of `packet`, taking
// the tap's packets up to and including it; `fallbackNs` when the tap holds no such copy.
int64_t tappedArrivalNs(int tap, const uint8_t* packet, size_t length, int64_t fallbackNs) {
    if (tap < 0) return fallbackNs;
    std::vector<uint8_t> copy(length + 1);
    for (;;) {
        sockaddr_ll from{};
        int64_t stampNs = -1;
        const ssize_t got = ReceiveStampedPacket(tap, copy.data(), copy.size(), 0, from, stampNs);
        if (got < 0) return fallbackNs;
        // Only what went into the device, the very packet just read from it.
        if (from.sll_pkttype != PACKET_OUTGOING || static_cast<size_t>(got) != length ||
            std::memcmp(copy.data(), packet, length) != 0)
            continue;
        if (stampNs < 0) return fallbackNs;
        const int64_t ageNs = nowNs(CLOCK_REALTIME) - stampNs;
        // A stamp from the future or from long ago is not this packet's.
        if (ageNs < 0 || ageNs > 1'000'000'000) return fallbackNs;
        return nowNs() - ageNs;
    }
}

// Timer wake-ups on a busy (or virtual) machine come late by tens of microseconds: wait in
// poll to a little before the due time, then watch the clock for the rest.
constexpr int64_t SpinNs = 200'000;

}  // namespace

TunDelayLine::TunDelayLine(const std::string& ns, const std::string& interfaceName,
                           std::chrono::microseconds delay, Transform transform)
    : name_(interfaceName),
      delayNs_(std::chrono::duration_cast<std::chrono::nanoseconds>(delay).count()),
      transform_(std::move(transform)) {
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
        tunFd_ = open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::strncpy(request.ifr_name, name_.c_str(), IFNAMSIZ - 1);
        if (tunFd_ < 0 || ioctl(tunFd_, TUNSETIFF, &request) != 0) {
            opened.set_value("cannot create the TUN device");
            return;
        }
        tapFd_ = openArrivalTap(name_);
        // On time even when the machine is busy; a real-time thread also gets no timer slack.
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

void TunDelayLine::setDelay(std::chrono::nanoseconds delay) {
    delayNs_.store(delay.count(), std::memory_order_relaxed);
}

TunDelayLine::~TunDelayLine() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
    thread_.join();
    close(tunFd_);
    if (tapFd_ >= 0) close(tapFd_);
    close(stopFd_);
}

void TunDelayLine::serve() {
    struct Pending {
        int64_t dueNs;
        std::vector<uint8_t> packet;
    };
    std::deque<Pending> pending;  // in arrival order, so due times only grow
    std::vector<uint8_t> buffer(65536);
    // Everything that has arrived, each stamped as soon as it is read.
    const auto takeArrivals = [&] {
        for (;;) {
            const ssize_t length = read(tunFd_, buffer.data(), buffer.size());
            if (length <= 0) return;
            const int64_t arrived =
                tappedArrivalNs(tapFd_, buffer.data(), static_cast<size_t>(length), nowNs());
            std::vector<uint8_t> packet(buffer.begin(), buffer.begin() + length);
            if (transform_ && !transform_(packet)) continue;
            // A delay made shorter while packets are held must not overtake them: the queue
            // stays in due order.
            int64_t due = arrived + delayNs_.load(std::memory_order_relaxed);
            if (!pending.empty()) due = std::max(due, pending.back().dueNs);
            pending.push_back({due, std::move(packet)});
        }
    };
    for (;;) {
        timespec wait{};
        timespec* timeout = nullptr;
        if (!pending.empty()) {
            const int64_t leftNs = std::max<int64_t>(pending.front().dueNs - SpinNs - nowNs(), 0);
            wait = {static_cast<time_t>(leftNs / 1'000'000'000),
                    static_cast<long>(leftNs % 1'000'000'000)};
            timeout = &wait;
        }
        pollfd entries[2] = {{tunFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (ppoll(entries, 2, timeout, nullptr) < 0 && errno != EINTR) return;
        if (entries[1].revents != 0) return;
        takeArrivals();
        while (!pending.empty() && pending.front().dueNs - nowNs() <= SpinNs) {
            // Packets that arrive meanwhile are still stamped on time.
            while (nowNs() < pending.front().dueNs)
                takeArrivals();
            const auto& packet = pending.front().packet;
            [[maybe_unused]] ssize_t written = write(tunFd_, packet.data(), packet.size());
            pending.pop_front();
        }
    }
}

}  // namespace hoplark::test
