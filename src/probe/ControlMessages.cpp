#include "probe/ControlMessages.h"

#include <time.h>
// after time.h, which it needs for timespec
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace hoplark {
namespace {

uint16_t readU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

constexpr size_t alignUp(size_t length) {
    return (length + sizeof(size_t) - 1) & ~(sizeof(size_t) - 1);
}

constexpr size_t HeaderSpace = alignUp(sizeof(cmsghdr));

void readStamp(ReceivedControl& out, const uint8_t* data, size_t size) {
    scm_timestamping stamps{};
    if (size < sizeof stamps) return;
    std::memcpy(&stamps, data, sizeof stamps);
    if (stamps.ts[0].tv_sec == 0 && stamps.ts[0].tv_nsec == 0) return;
    if (stamps.ts[0].tv_sec < 0 || stamps.ts[0].tv_nsec < 0 ||
        stamps.ts[0].tv_nsec >= 1'000'000'000 || stamps.ts[0].tv_sec > (int64_t{1} << 33)) {
        return;
    }
    out.stampNs = static_cast<int64_t>(stamps.ts[0].tv_sec) * 1'000'000'000 + stamps.ts[0].tv_nsec;
}

void readError(ReceivedControl& out, const uint8_t* data, size_t size) {
    sock_extended_err error{};
    if (size < sizeof error) return;
    std::memcpy(&error, data, sizeof error);
    out.hasError = true;
    out.errorNumber = error.ee_errno;
    out.origin = error.ee_origin;
    out.type = error.ee_type;
    out.code = error.ee_code;
    out.info = error.ee_info;
    out.data = error.ee_data;
    // SO_EE_OFFENDER: the address follows the record, as much of it as the family needs.
    if (size > sizeof error) {
        sockaddr_storage offender{};
        const size_t length = std::min(size - sizeof error, sizeof offender);
        std::memcpy(&offender, data + sizeof error, length);
        out.offender = IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&offender),
                                                    static_cast<socklen_t>(length));
    }
}

}  // namespace

ReceivedControl ParseControlMessages(const uint8_t* control, size_t size) {
    ReceivedControl out;
    if (control == nullptr) return out;
    size_t offset = 0;
    while (size - offset >= sizeof(cmsghdr)) {
        cmsghdr header{};
        std::memcpy(&header, control + offset, sizeof header);
        const size_t length = header.cmsg_len;
        if (length < HeaderSpace || length > size - offset) break;
        const uint8_t* data = control + offset + HeaderSpace;
        const size_t dataSize = length - HeaderSpace;
        if (header.cmsg_level == SOL_SOCKET && header.cmsg_type == SCM_TIMESTAMPING) {
            readStamp(out, data, dataSize);
        } else if ((header.cmsg_level == SOL_IP && header.cmsg_type == IP_RECVERR) ||
                   (header.cmsg_level == SOL_IPV6 && header.cmsg_type == IPV6_RECVERR)) {
            readError(out, data, dataSize);
        }
        const size_t step = alignUp(length);
        if (step > size - offset) break;
        offset += step;
    }
    return out;
}

ErrorQueueEntry ParseErrorQueueEntry(const ReceivedControl& control, const uint8_t* payload,
                                     size_t payloadSize, const IpAddress& quotedDestination) {
    const bool v4 = quotedDestination.isV4();
    ErrorQueueEntry entry;
    if (!control.hasError) return entry;
    switch (control.origin) {
        case SO_EE_ORIGIN_TIMESTAMPING:
            if (!control.stampNs) return entry;
            entry.kind = ErrorQueueEntry::Kind::SendStamp;
            entry.key = control.data;
            entry.stampNs = *control.stampNs;
            return entry;
        case SO_EE_ORIGIN_LOCAL:
            entry.kind = ErrorQueueEntry::Kind::LocalError;
            entry.errorNumber = control.errorNumber;
            entry.info = control.info;
            return entry;
        case SO_EE_ORIGIN_ICMP:
            if (!v4) return entry;
            break;
        case SO_EE_ORIGIN_ICMP6:
            if (v4) return entry;
            break;
        default:
            return entry;
    }
    const bool ends = v4 ? EndsEchoExchange(control.type) && control.type != IcmpEchoReply
                         : EndsEcho6Exchange(control.type) && control.type != Icmp6EchoReply;
    if (!ends) return entry;
    if (!control.offender || control.offender->family() != quotedDestination.family()) {
        return entry;
    }
    if (payload == nullptr || payloadSize < IcmpHeaderSize) return entry;
    if (payload[0] != (v4 ? IcmpEchoRequest : Icmp6EchoRequest)) return entry;
    IcmpMessage& message = entry.message;
    message.source = *control.offender;
    message.type = control.type;
    message.code = control.code;
    message.identifier = readU16(payload + 4);
    message.sequence = readU16(payload + 6);
    message.quotedDestination = quotedDestination;
    const size_t dataBytes = std::min(payloadSize - IcmpHeaderSize, EchoNonceSize);
    std::memcpy(message.data.data(), payload + IcmpHeaderSize, dataBytes);
    message.dataBytes = static_cast<uint8_t>(dataBytes);
    entry.kind = ErrorQueueEntry::Kind::IcmpError;
    return entry;
}

}  // namespace hoplark
