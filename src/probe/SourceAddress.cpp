#include "probe/SourceAddress.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hoplark {

std::optional<IpAddress> SourceAddressToward(const IpAddress& target) {
    sockaddr_storage remote{};
    const socklen_t remoteLength = target.toSocketAddress(remote);
    // Any port: connecting a datagram socket sends nothing.
    if (target.isV4())
        reinterpret_cast<sockaddr_in*>(&remote)->sin_port = htons(9);
    else
        reinterpret_cast<sockaddr_in6*>(&remote)->sin6_port = htons(9);
    const int fd = socket(target.isV4() ? AF_INET : AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    std::optional<IpAddress> result;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), remoteLength) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        result = IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&local), length);
    }
    close(fd);
    return result;
}

}  // namespace hoplark
