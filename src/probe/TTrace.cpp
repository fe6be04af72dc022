#include "probe/TTrace.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <vector>

namespace hoplark {

TTrace::TTrace(EchoService& service, ProbeFailureReport reportFailure, CancelSignal* cancel)
    : service_(service), reportFailure_(std::move(reportFailure)), cancel_(cancel) {}

void TTrace::Probe() {
    ResponderIP.clear();
    Responder.reset();
    UnreachableFrom.clear();
    UnreachableStatus = 0;
    RoundTrip = LostSample;
    RoundTripUs = -1;
    Clock = EchoClock::Monotonic;
    IcmpType = IcmpCode = 0;
    SentUtcUs = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count();
    DestAddress = IpAddress::Parse(Destination);
    if (!DestAddress) return;
    // An unbound facility was reported once at start-up; every probe then just ends lost. A
    // family that alone could not be opened is reported when it is first traced.
    if (!service_.bound()) return;
    if (!service_.bound(DestAddress->family())) {
        adviseFamily(DestAddress->family());
        return;
    }
    // Every size a datagram can carry goes out, 0 bytes included; beyond what the facility's
    // 16-bit size can express the probe ends lost, and the user is told once what works.
    const int packetSize = service_.packetSize();
    if (packetSize < 0 || packetSize > std::numeric_limits<uint16_t>::max()) {
        adviseSize(packetSize, LargestEchoData);
        return;
    }
    try {
        const EchoHandle handle = service_.IcmpCreateFile();
        if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error(InvalidHandleText);
        try {
            probeWithHandle(handle, packetSize);
        } catch (...) {
            service_.IcmpCloseHandle(handle);
            throw;
        }
        service_.IcmpCloseHandle(handle);
    } catch (const std::exception& failure) {
        if (reportFailure_) reportFailure_(failure.what());
    }
}

void TTrace::probeWithHandle(EchoHandle handle, int packetSize) {
    const std::vector<uint8_t> request(static_cast<size_t>(packetSize), 0xAA);
    std::vector<uint8_t> reply(static_cast<size_t>(packetSize) + EchoReplyRecordSize, 0);
    Options = IP_OPTION_INFORMATION{};
    Options.Ttl = TTL;
    EchoDetail detail;
    service_.IcmpSendEcho(handle, *DestAddress, request.data(), static_cast<uint16_t>(packetSize),
                          &Options, reply.data(), static_cast<uint32_t>(reply.size()), Timeout,
                          cancel_, &detail);
    if (detail.sentUtcUs != 0) SentUtcUs = detail.sentUtcUs;
    if (detail.usableSize) adviseSize(packetSize, *detail.usableSize);
    ICMP_ECHO_REPLY record;
    std::memcpy(&record, reply.data(), sizeof record);
    if (const auto answer = ClassifyEchoReply(record)) {
        Responder = answer->responder;
        ResponderIP = answer->responder.text();
        RoundTrip = answer->roundTripMs;
        RoundTripUs =
            detail.roundTripUs >= 0 ? detail.roundTripUs : int64_t{answer->roundTripMs} * 1000;
        Clock = detail.clock;
        IcmpType = detail.icmpType;
        IcmpCode = detail.icmpCode;
        return;
    }
    const bool unreachable =
        record.Status == IP_DEST_NET_UNREACHABLE || record.Status == IP_DEST_HOST_UNREACHABLE ||
        record.Status == IP_DEST_PROT_UNREACHABLE || record.Status == IP_DEST_PORT_UNREACHABLE;
    if (unreachable && !record.Address.isLimitedBroadcast()) {
        UnreachableFrom = record.Address.text();
        UnreachableStatus = record.Status;
        IcmpType = detail.icmpType;
        IcmpCode = detail.icmpCode;
    }
}

void TTrace::adviseSize(int size, int usable) {
    if (reportFailure_ && service_.claimSizeAdvice()) {
        reportFailure_(EchoService::SizeAdviceText(size, usable));
    }
}

void TTrace::adviseFamily(AddressFamily family) {
    if (reportFailure_ && service_.claimFamilyAdvice(family)) {
        reportFailure_(service_.familyError(family));
    }
}

std::optional<EchoAnswer> ClassifyEchoReply(const ICMP_ECHO_REPLY& reply) {
    const bool usable = reply.Status == IP_SUCCESS || (reply.Status == IP_TTL_EXPIRED_TRANSIT &&
                                                       !reply.Address.isLimitedBroadcast());
    if (!usable) return std::nullopt;
    return EchoAnswer{reply.Address, static_cast<int32_t>(reply.RoundTripTime)};
}

}  // namespace hoplark
