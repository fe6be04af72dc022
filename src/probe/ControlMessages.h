#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "probe/IcmpPacket.h"

namespace hoplark {

// What the control messages of one recvmsg() said: the kernel's software time stamp and, for an
// entry of the error queue, the extended error with its offender. Pure data, so that the bytes
// can come from a fuzzer as well as from the kernel.
struct ReceivedControl {
    std::optional<int64_t> stampNs;  // SCM_TIMESTAMPING software stamp, wall clock
    bool hasError = false;
    uint32_t errorNumber = 0;
    uint8_t origin = 0;
    uint8_t type = 0;
    uint8_t code = 0;
    uint32_t info = 0;
    uint32_t data = 0;
    std::optional<IpAddress> offender;  // whoever sent the error
};

// Walks a control buffer as recvmsg() fills it (`size` bytes at `control`, aligned or not).
// Headers whose lengths do not fit are the end of the walk; nothing outside the buffer is read.
ReceivedControl ParseControlMessages(const uint8_t* control, size_t size);

// One entry of an ICMP socket's error queue, classified.
struct ErrorQueueEntry {
    enum class Kind { Ignored, SendStamp, IcmpError, LocalError };
    Kind kind = Kind::Ignored;
    // SendStamp: the stamp of the send numbered `key` (SOF_TIMESTAMPING_OPT_ID).
    uint32_t key = 0;
    int64_t stampNs = 0;
    // IcmpError: the error, with the quoted request's numbers, data and destination.
    IcmpMessage message;
    // LocalError: the errno, and for EMSGSIZE the path MTU the kernel reports.
    uint32_t errorNumber = 0;
    uint32_t info = 0;
};

// Classifies an error-queue entry of an ICMP datagram or raw socket. `payload` is what recvmsg
// returned as data: for an ICMP error on a datagram socket, the quoted echo request (its ICMP
// header and as much data as the router quoted). `quotedDestination` is the address from
// msg_name, which the kernel takes from the quoted IP header; its family is the socket's.
// Redirects, errors that quote anything but an echo request, errors of the other family and
// errors without an offender are Ignored.
ErrorQueueEntry ParseErrorQueueEntry(const ReceivedControl& control, const uint8_t* payload,
                                     size_t payloadSize, const IpAddress& quotedDestination);

}  // namespace hoplark
