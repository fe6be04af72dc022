#include "probe/SourceAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hoplark {

std::string SourceAddressToward(const std::string& target) {
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(9);  // any port: connecting a datagram socket sends nothing
    if (inet_pton(AF_INET, target.c_str(), &remote.sin_addr) != 1) return {};
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    std::string result;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) result = text;
    }
    close(fd);
    return result;
}

}  // namespace hoplark
