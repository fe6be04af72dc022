#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "probe/CancelSignal.h"
#include "probe/EchoTiming.h"
#include "probe/IcmpPacket.h"
#include "probe/IpAddress.h"

namespace hoplark {

struct ReceivedControl;

// Status values of the echo facility (the first reply record's Status).
inline constexpr uint32_t IP_SUCCESS = 0;
inline constexpr uint32_t IP_DEST_NET_UNREACHABLE = 11002;
inline constexpr uint32_t IP_DEST_HOST_UNREACHABLE = 11003;
inline constexpr uint32_t IP_DEST_PROT_UNREACHABLE = 11004;
inline constexpr uint32_t IP_DEST_PORT_UNREACHABLE = 11005;
inline constexpr uint32_t IP_PACKET_TOO_BIG = 11009;
inline constexpr uint32_t IP_REQ_TIMED_OUT = 11010;
inline constexpr uint32_t IP_TTL_EXPIRED_TRANSIT = 11013;
inline constexpr uint32_t IP_TTL_EXPIRED_REASSEM = 11014;
inline constexpr uint32_t IP_PARAM_PROBLEM = 11015;
inline constexpr uint32_t IP_SOURCE_QUENCH = 11016;
inline constexpr uint32_t IP_GENERAL_FAILURE = 11050;

// The facility status for an ICMP error of this type and code.
uint32_t StatusForIcmpError(uint8_t type, uint8_t code);
// The same for ICMPv6: the statuses mean the same thing for both families.
uint32_t StatusForIcmp6Error(uint8_t type, uint8_t code);

// The per-request IP option record. The facility uses only Ttl; the rest must be zero.
struct IP_OPTION_INFORMATION {
    uint8_t Ttl = 0;
    uint8_t Tos = 0;
    uint8_t Flags = 0;
    uint8_t OptionsSize = 0;
    uint8_t* OptionsData = nullptr;
};

// The first members of the reply record, as IcmpSendEcho writes them at the start of the reply
// buffer. Address is the responder (meaningless while Status says nothing answered).
struct ICMP_ECHO_REPLY {
    IpAddress Address;
    uint32_t Status = 0;
    uint32_t RoundTripTime = 0;
};

// What one exchange measured beyond the reply record's whole milliseconds.
struct EchoDetail {
    int64_t roundTripUs = -1;  // -1 when there was no answer
    EchoClock clock = EchoClock::Monotonic;
    uint8_t icmpType = 0;
    uint8_t icmpCode = 0;
    int64_t sentUtcUs = 0;  // wall clock at the send, microseconds since the epoch
    // Set when the kernel refused the request for its size: the most data it would take.
    std::optional<int> usableSize;
};

// Room the reply buffer keeps for the reply record before the echoed data.
inline constexpr uint32_t EchoReplyRecordSize = 40;
static_assert(EchoReplyRecordSize >= sizeof(ICMP_ECHO_REPLY),
              "the reply record must fit in the room kept for it");
// The most echo data one IPv4 datagram can carry.
inline constexpr int LargestEchoData = 65535 - 20 - 8;

using EchoHandle = intptr_t;
inline constexpr EchoHandle INVALID_HANDLE_VALUE = -1;

// The ICMP echo facility: one echo with a given time-to-live, data and time-out, reporting a
// status, the responder and the round trip.
//
// Bound once at start-up, where it opens one ICMP socket per address family for the whole
// process: a datagram socket when the user's group is inside net.ipv4.ping_group_range (which
// governs ICMPv6 too), else a raw socket (root or cap_net_raw). Then it gives up every privilege
// (PrivilegeDrop). A family whose socket cannot be opened is reported only when a probe goes to
// one of its addresses (familyError). There is no receiver thread:
// of the exchanges waiting for an answer, one at a time (the leader) reads the socket, with the
// kernel's time stamps, and hands each answer to the exchange it belongs to, matched by
// identifier, sequence and the per-probe nonce in the echo data, and for errors by the quoted
// destination too; the others sleep until their answer is handed over or the lead passes to
// them. A lone probe thus reads its own answer: a send, a poll and two reads, no socket and no
// thread hand-over of its own. When no socket can be opened the service stays unbound,
// startupError() tells the user how to fix it, and every exchange ends at once.
//
// All operations are safe from any thread once the service is constructed.
class EchoService {
public:
    enum class Mode { Unbound, Datagram, Raw };

    struct BindOptions {
        // Which kinds of socket may be tried, datagram first.
        bool allowDatagram = true;
        bool allowRaw = true;
        // Give up every privilege once the socket is open (see PrivilegeDrop). Only tests that
        // must keep them for themselves turn this off.
        bool dropCapabilities = true;
    };

    static constexpr const char* StartupFailureText =
        "Error: can't open an ICMP socket. Allow unprivileged ICMP with sysctl "
        "net.ipv4.ping_group_range, or give the program cap_net_raw.";
    static constexpr const char* V6FailureText =
        "Error: can't open an ICMPv6 socket, so IPv6 addresses cannot be traced. This machine "
        "may have IPv6 turned off; otherwise allow unprivileged ICMP with sysctl "
        "net.ipv4.ping_group_range (it governs ICMPv6 too), or give the program cap_net_raw.";

    static constexpr int DefaultPacketSize = 56;

    EchoService() : EchoService(BindOptions{}) {}
    explicit EchoService(const BindOptions& options);
    ~EchoService();
    EchoService(const EchoService&) = delete;
    EchoService& operator=(const EchoService&) = delete;

    // The IPv4 socket's kind, as before there was a second family.
    Mode mode() const { return mode(AddressFamily::V4); }
    Mode mode(AddressFamily family) const { return socketOf(family).mode; }
    // True when at least one family can be probed.
    bool bound() const { return bound(AddressFamily::V4) || bound(AddressFamily::V6); }
    bool bound(AddressFamily family) const { return mode(family) != Mode::Unbound; }
    // The message to show at start-up when no family could bind; empty when one did.
    const std::string& startupError() const { return startupError_; }
    // Why addresses of this family cannot be probed; empty when they can.
    std::string familyError(AddressFamily family) const;
    // True the first time only for each family: whether to tell the user that it is unbound.
    bool claimFamilyAdvice(AddressFamily family);

    // Echo data size for every probe; set once at start-up from the settings. Any value is
    // accepted here; one that cannot be sent makes each probe end with no answer.
    void setPacketSize(int size) { packetSize_.store(size, std::memory_order_relaxed); }
    int packetSize() const { return packetSize_.load(std::memory_order_relaxed); }

    // True the first time only: whether to tell the user that the echo size cannot be sent.
    bool claimSizeAdvice() { return !sizeAdviceGiven_.exchange(true); }
    static std::string SizeAdviceText(int size, int usable);

    // A handle for one echo exchange, or INVALID_HANDLE_VALUE.
    EchoHandle IcmpCreateFile();
    // Sends one echo request to `destAddress` with the TTL (hop limit) of `options` and
    // waits at most `timeoutMs`, or until `cancel` (if given) is cancelled. Fills the
    // ICMP_ECHO_REPLY at the start of `replyBuffer` and, if given, `detail`; returns the number
    // of replies (0 or 1).
    uint32_t IcmpSendEcho(EchoHandle handle, const IpAddress& destAddress, const void* requestData,
                          uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                          void* replyBuffer, uint32_t replySize, int32_t timeoutMs,
                          CancelSignal* cancel = nullptr, EchoDetail* detail = nullptr);
    void IcmpCloseHandle(EchoHandle handle);

    // Exchanges currently open (handles not yet closed).
    size_t openHandles() const;

private:
    struct Exchange;
    struct Outcome;
    // One family's socket and what belongs to it alone.
    struct FamilySocket {
        AddressFamily family = AddressFamily::V4;
        Mode mode = Mode::Unbound;
        int fd = -1;
        uint16_t identifier = 0;
        // The kernel numbers each socket's send stamps on its own.
        uint32_t nextStampKey = 0;
        bool ttlByControlMessage = true;
        std::atomic<bool> adviceGiven{false};
    };

    FamilySocket& socketOf(AddressFamily family) { return sockets_[static_cast<int>(family)]; }
    const FamilySocket& socketOf(AddressFamily family) const {
        return sockets_[static_cast<int>(family)];
    }
    bool open(FamilySocket& socket, const BindOptions& options);
    bool openDatagram(FamilySocket& socket);
    bool openRaw(FamilySocket& socket);
    void configureSocket(FamilySocket& socket);
    void closeSockets();
    void lead(int64_t deadlineMono);
    // Room for the control messages of one receive (stamps, TTL, the extended error).
    struct ControlBuffer {
        alignas(cmsghdr) uint8_t bytes[512];
    };
    // One non-blocking recvmsg into the shared buffer; `flags` adds e.g. MSG_ERRQUEUE.
    ssize_t receive(const FamilySocket& socket, int flags, sockaddr_storage& from,
                    socklen_t& fromLength, ControlBuffer& control, size_t& controlLength);
    void readErrorQueue(FamilySocket& socket);
    void readPacket(FamilySocket& socket);
    void deliver(const IcmpMessage& message, std::optional<int64_t> stampNs);
    std::shared_ptr<Exchange> findExchange(EchoHandle handle) const;
    Outcome exchange(Exchange& exchange, const IpAddress& destAddress, const uint8_t* data,
                     size_t size, uint8_t ttl, int32_t timeoutMs, CancelSignal* cancel);
    bool send(FamilySocket& socket, Exchange& exchange, const std::vector<uint8_t>& packet,
              const IpAddress& destAddress, uint8_t ttl);

    FamilySocket sockets_[2];  // by AddressFamily
    std::string startupError_;
    std::atomic<int> packetSize_{DefaultPacketSize};
    std::atomic<bool> sizeAdviceGiven_{false};

    // Written to when the leader must stop reading (its probe was cancelled).
    int wakeLeader_ = -1;
    // Only the leader reads into it: a raw socket hands over whole packets, whose checksum is
    // checked; a datagram socket only needs the echo header and the nonce.
    std::vector<uint8_t> buffer_;

    // Guards the handles, the waiting exchanges and everything inside an Exchange.
    mutable std::mutex lock_;
    std::map<EchoHandle, std::shared_ptr<Exchange>> exchanges_;
    std::map<uint16_t, Exchange*> waiting_;  // by sequence, while their answer is outstanding
    Exchange* leader_ = nullptr;             // the waiting exchange that reads the socket
    EchoHandle nextHandle_ = 1;
    uint16_t nextSequence_ = 0;
    std::mt19937_64 nonces_;

    // Sends one at a time, so that the kernel's send-stamp numbers follow our own count.
    std::mutex sendLock_;
};

}  // namespace hoplark
