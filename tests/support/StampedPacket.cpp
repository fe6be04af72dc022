#include "support/StampedPacket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace hoplark::test {

ssize_t ReceiveStampedPacket(int socket, uint8_t* buffer, size_t size, int flags, sockaddr_ll& from,
                             int64_t& stampNs) {
    iovec data{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    from = {};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    stampNs = -1;
    const ssize_t got = recvmsg(socket, &message, flags);
    if (got < 0) return got;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
        stampNs = static_cast<int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
    }
    return got;
}

namespace {

int64_t wallClockNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Sends one datagram to `receiver` and reads it once it has arrived: stamped on arrival, its stamp
// comes before the clock reading taken just before the read; stamped by the read, after it.
bool stampedOnArrival(int sender, int receiver, const sockaddr_in& to) {
    const char byte = 0;
    if (sendto(sender, &byte, 1, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 1) {
        return false;
    }
    pollfd readable{receiver, POLLIN, 0};
    if (poll(&readable, 1, 1000) != 1) return false;
    const int64_t beforeReadNs = wallClockNs();
    char buffer[1];
    iovec data{buffer, sizeof buffer};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(receiver, &message, 0) < 0) return false;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS) continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
        return static_cast<int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec < beforeReadNs;
    }
    return false;
}

}  // namespace

bool WaitForArrivalStamps(std::chrono::milliseconds limit) {
    const int receiver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    const int on = 1;
    bool stamped = false;
    if (receiver >= 0 && sender >= 0 &&
        bind(receiver, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 &&
        getsockname(receiver, reinterpret_cast<sockaddr*>(&at), &length) == 0 &&
        setsockopt(receiver, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!(stamped = stampedOnArrival(sender, receiver, at)) &&
               std::chrono::steady_clock::now() < until) {
            usleep(1000);
        }
    }
    if (receiver >= 0) close(receiver);
    if (sender >= 0) close(sender);
    return stamped;
}

int BlockStopSignals() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    return signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

}  // namespace hoplark::test
