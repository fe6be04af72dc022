#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "probe/CancelSignal.h"
#include "probe/EchoService.h"
#include "probe/EchoTiming.h"

namespace hoplark {

// A usable answer: who answered and after how many milliseconds.
struct EchoAnswer {
    IpAddress responder;
    int32_t roundTripMs = 0;
};

// Classifies the facility's first reply record. An echo reply, and a time-exceeded report from a
// real address, are answers; a time-exceeded report from 255.255.255.255, a time-out and every
// other status are not.
std::optional<EchoAnswer> ClassifyEchoReply(const ICMP_ECHO_REPLY& reply);

// Receives the failures a probe reports to the user (the caller decides how to show them).
using ProbeFailureReport = std::function<void(const std::string& message)>;

// One ICMP echo with a chosen time-to-live, classified into a responder and a round trip.
// The caller sets TTL, Destination and Timeout, calls Probe() once and reads ResponderIP and
// RoundTrip. Any outcome other than a usable answer is an empty responder and 9999.
class TTrace {
public:
    static constexpr int32_t LostSample = 9999;
    static constexpr const char* InvalidHandleText = "Invalid handle. Aborting trace...";

    // `cancel` (optional) cuts the wait for the answer short.
    explicit TTrace(EchoService& service, ProbeFailureReport reportFailure = {},
                    CancelSignal* cancel = nullptr);

    void Probe();

    IP_OPTION_INFORMATION Options{};
    uint8_t TTL = 0;
    std::string Destination;
    int32_t Timeout = 0;
    // The Destination text read as an address; nothing when it is not one (the probe then
    // ends lost).
    std::optional<IpAddress> DestAddress;
    // The responder as the hop table shows it, and as an address.
    std::string ResponderIP;
    std::optional<IpAddress> Responder;
    int32_t RoundTrip = 0;
    // Beside the millisecond RoundTrip: the round trip in microseconds (-1 when lost), how it
    // was timed, the answer's ICMP type and code, and the wall-clock send time (us since epoch).
    int64_t RoundTripUs = -1;
    EchoClock Clock = EchoClock::Monotonic;
    uint8_t IcmpType = 0;
    uint8_t IcmpCode = 0;
    int64_t SentUtcUs = 0;
    // The router that reported the destination unreachable (address text), when one did, and
    // the facility status it meant; the probe itself still ends lost with no responder.
    std::string UnreachableFrom;
    uint32_t UnreachableStatus = 0;

private:
    void probeWithHandle(EchoHandle handle, int packetSize);
    // Tells the user, once per service, that echoes of `size` bytes cannot be sent.
    void adviseSize(int size, int usable);
    // Tells the user, once per family, that its addresses cannot be probed here.
    void adviseFamily(AddressFamily family);

    EchoService& service_;
    ProbeFailureReport reportFailure_;
    CancelSignal* cancel_;
};

}  // namespace hoplark
