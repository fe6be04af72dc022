#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "probe/EchoService.h"

namespace hoplark {

// Receives the failures a probe reports to the user (the caller decides how to show them).
using ProbeFailureReport = std::function<void(const std::string& message)>;

// One ICMP echo with a chosen time-to-live, classified into a responder and a round trip.
// The caller sets TTL, Destination and Timeout, calls Probe() once and reads ResponderIP and
// RoundTrip. Any outcome other than a usable answer is an empty responder and 9999.
class TTrace {
public:
    static constexpr int32_t LostSample = 9999;
    static constexpr const char* InvalidHandleText = "Invalid handle. Aborting trace...";

    // `cancelFd` (optional) cuts the wait for the answer short when it becomes readable.
    explicit TTrace(EchoService& service, ProbeFailureReport reportFailure = {}, int cancelFd = -1);

    void Probe();

    IP_OPTION_INFORMATION Options{};
    uint8_t TTL = 0;
    std::string Destination;
    int32_t Timeout = 0;
    uint32_t DestAddress = 0;
    std::string ResponderIP;
    int32_t RoundTrip = 0;

private:
    void probeWithHandle(EchoHandle handle, int packetSize);

    EchoService& service_;
    ProbeFailureReport reportFailure_;
    int cancelFd_;
};

}  // namespace hoplark
