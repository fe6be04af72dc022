#include "support/IcmpInjector.h"

#include <fcntl.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <stdexcept>

#include "probe/IcmpPacket.h"

namespace hoplark::test {

IcmpInjector::IcmpInjector(const std::string& ns, Answer answer) : answer_(std::move(answer)) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::promise<std::string> opened;
    auto result = opened.get_future();
    // A socket belongs to the namespace of the thread that opens it.
    thread_ = std::thread([this, ns, &opened] {
        const int nsFd = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
            if (nsFd >= 0) close(nsFd);
            opened.set_value("cannot enter namespace " + ns);
            return;
        }
        close(nsFd);
        socket_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (socket_ < 0) {
            opened.set_value("cannot open a raw ICMP socket");
            return;
        }
        icmp_filter onlyRequests{};
        onlyRequests.data = ~(1u << IcmpEchoRequest);
        setsockopt(socket_, SOL_RAW, ICMP_FILTER, &onlyRequests, sizeof onlyRequests);
        opened.set_value({});
        serve();
    });
    const std::string failure = result.get();
    if (!failure.empty()) {
        thread_.join();
        if (socket_ >= 0) close(socket_);
        close(stopFd_);
        throw std::runtime_error(failure);
    }
}

IcmpInjector::~IcmpInjector() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(stopFd_, &one, sizeof one);
    thread_.join();
    close(socket_);
    close(stopFd_);
}

void IcmpInjector::serve() {
    std::vector<uint8_t> buffer(65536);
    for (;;) {
        pollfd entries[2] = {{socket_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0 && errno != EINTR) return;
        if (entries[1].revents != 0) return;
        if ((entries[0].revents & POLLIN) == 0) continue;
        const ssize_t length = recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (length <= 0) continue;
        const std::vector<uint8_t> request(buffer.begin(), buffer.begin() + length);
        for (const auto& forged : answer_(request)) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = forged.to;
            sendto(socket_, forged.icmp.data(), forged.icmp.size(), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
    }
}

}  // namespace hoplark::test
