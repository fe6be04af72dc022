#include "probe/EchoService.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <linux/net_tstamp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "probe/ControlMessages.h"
#include "probe/PrivilegeDrop.h"

namespace hoplark {
namespace {

// Software stamps at both ends; each send's stamp comes back on the error queue numbered by
// the socket's send count, without the packet.
constexpr int TimestampFlags = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_RX_SOFTWARE |
                               SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_TSONLY |
                               SOF_TIMESTAMPING_OPT_ID;

// A round's answers can arrive together; room for them even with large echoes.
constexpr int ReceiveBufferBytes = 4 << 20;

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t realtimeNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

IpAddress AnyV6() {
    const uint8_t any[16] = {};
    return IpAddress::fromV6(any);
}

int domainOf(AddressFamily family) {
    return family == AddressFamily::V4 ? AF_INET : AF_INET6;
}

}  // namespace

uint32_t StatusForIcmpError(uint8_t type, uint8_t code) {
    switch (type) {
        case IcmpTimeExceeded:
            return code == 0 ? IP_TTL_EXPIRED_TRANSIT : IP_TTL_EXPIRED_REASSEM;
        case IcmpDestinationUnreachable:
            switch (code) {
                case 0:
                    return IP_DEST_NET_UNREACHABLE;
                case 2:
                    return IP_DEST_PROT_UNREACHABLE;
                case 3:
                    return IP_DEST_PORT_UNREACHABLE;
                case 4:
                    return IP_PACKET_TOO_BIG;
                default:
                    return IP_DEST_HOST_UNREACHABLE;
            }
        case IcmpParameterProblem:
            return IP_PARAM_PROBLEM;
        case IcmpSourceQuench:
            return IP_SOURCE_QUENCH;
        default:
            return IP_GENERAL_FAILURE;
    }
}

uint32_t StatusForIcmp6Error(uint8_t type, uint8_t code) {
    switch (type) {
        case Icmp6TimeExceeded:
            return code == 0 ? IP_TTL_EXPIRED_TRANSIT : IP_TTL_EXPIRED_REASSEM;
        case Icmp6DestinationUnreachable:
            switch (code) {
                case 0:  // no route
                    return IP_DEST_NET_UNREACHABLE;
                case 4:
                    return IP_DEST_PORT_UNREACHABLE;
                default:  // prohibited, beyond scope, address unreachable, policy, reject route
                    return IP_DEST_HOST_UNREACHABLE;
            }
        case Icmp6PacketTooBig:
            return IP_PACKET_TOO_BIG;
        case Icmp6ParameterProblem:
            return IP_PARAM_PROBLEM;
        default:
            return IP_GENERAL_FAILURE;
    }
}

std::string EchoService::SizeAdviceText(int size, int usable) {
    return "Echo data size " + std::to_string(size) + " cannot be sent on this path; use at most " +
           std::to_string(usable) + " bytes (settings file [Advanced] PacketSize).";
}

// One open handle. While an echo is outstanding it is also listed in waiting_ under its
// sequence, and the receiver thread fills in the answer and wakes the sender.
struct EchoService::Exchange {
    EchoKey key;
    bool answered = false;
    bool cancelled = false;
    IcmpMessage answer;
    std::optional<int64_t> receivedNs;  // the kernel's receive stamp
    int64_t receivedMono = 0;           // when the receiver read it
    std::optional<uint32_t> stampKey;   // the number of our send's stamp
    std::optional<int64_t> sentStampNs;
    std::condition_variable changed;
};

struct EchoService::Outcome {
    uint32_t status = IP_REQ_TIMED_OUT;
    IpAddress responder;
    uint32_t roundTripMs = 0;
    EchoDetail detail;
};

EchoService::EchoService(const BindOptions& options) {
    std::random_device random;
    nonces_.seed((static_cast<uint64_t>(random()) << 32) ^ random());
    socketOf(AddressFamily::V6).family = AddressFamily::V6;
    wakeLeader_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Both families are opened now, while the privileges that may be needed are still held.
    const bool v4 = wakeLeader_ >= 0 && open(socketOf(AddressFamily::V4), options);
    const bool v6 = wakeLeader_ >= 0 && open(socketOf(AddressFamily::V6), options);
    if (!v4 && !v6) {
        closeSockets();
        startupError_ = StartupFailureText;
        return;
    }
    if (options.dropCapabilities) {
        const std::string failure = PrivilegeDrop::DropAll();
        if (!failure.empty()) {
            closeSockets();
            startupError_ = "Error: could not give up privileges after opening the ICMP socket (" +
                            failure + ").";
            return;
        }
    }
    const bool raw = mode(AddressFamily::V4) == Mode::Raw || mode(AddressFamily::V6) == Mode::Raw;
    buffer_.resize(raw ? 65536 : 256);
}

bool EchoService::open(FamilySocket& socket, const BindOptions& options) {
    if (options.allowDatagram && openDatagram(socket)) {
        socket.mode = Mode::Datagram;
    } else if (options.allowRaw && openRaw(socket)) {
        socket.mode = Mode::Raw;
    } else {
        return false;
    }
    configureSocket(socket);
    return true;
}

bool EchoService::openDatagram(FamilySocket& socket) {
    const bool v4 = socket.family == AddressFamily::V4;
    socket.fd = ::socket(domainOf(socket.family), SOCK_DGRAM | SOCK_CLOEXEC,
                         v4 ? int{IPPROTO_ICMP} : int{IPPROTO_ICMPV6});
    if (socket.fd < 0) return false;
    // The kernel keeps the socket's port as the identifier of every request.
    sockaddr_storage any{};
    any.ss_family = static_cast<sa_family_t>(domainOf(socket.family));
    const socklen_t anySize = v4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    sockaddr_storage bound{};
    socklen_t boundSize = sizeof bound;
    if (bind(socket.fd, reinterpret_cast<const sockaddr*>(&any), anySize) != 0 ||
        getsockname(socket.fd, reinterpret_cast<sockaddr*>(&bound), &boundSize) != 0) {
        close(socket.fd);
        socket.fd = -1;
        return false;
    }
    in_port_t port = 0;
    if (v4)
        port = reinterpret_cast<const sockaddr_in*>(&bound)->sin_port;
    else
        port = reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port;
    socket.identifier = ntohs(port);
    const int on = 1;
    if (v4)
        setsockopt(socket.fd, SOL_IP, IP_RECVERR, &on, sizeof on);
    else
        setsockopt(socket.fd, SOL_IPV6, IPV6_RECVERR, &on, sizeof on);
    return true;
}

bool EchoService::openRaw(FamilySocket& socket) {
    const bool v4 = socket.family == AddressFamily::V4;
    socket.fd = ::socket(domainOf(socket.family), SOCK_RAW | SOCK_CLOEXEC,
                         v4 ? int{IPPROTO_ICMP} : int{IPPROTO_ICMPV6});
    if (socket.fd < 0) return false;
    // Only echo replies and the errors that end an echo exchange reach the receiver (not, on
    // loopback, our own requests).
    if (v4) {
        icmp_filter filter{};
        filter.data =
            ~((1u << IcmpEchoReply) | (1u << IcmpDestinationUnreachable) |
              (1u << IcmpSourceQuench) | (1u << IcmpTimeExceeded) | (1u << IcmpParameterProblem));
        setsockopt(socket.fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    } else {
        icmp6_filter filter{};
        ICMP6_FILTER_SETBLOCKALL(&filter);
        for (const uint8_t type : {Icmp6EchoReply, Icmp6DestinationUnreachable, Icmp6PacketTooBig,
                                   Icmp6TimeExceeded, Icmp6ParameterProblem}) {
            ICMP6_FILTER_SETPASS(type, &filter);
        }
        setsockopt(socket.fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
    std::random_device random;
    socket.identifier = static_cast<uint16_t>(random() ^ static_cast<unsigned>(getpid()));
    return true;
}

void EchoService::configureSocket(FamilySocket& socket) {
    setsockopt(socket.fd, SOL_SOCKET, SO_TIMESTAMPING, &TimestampFlags, sizeof TimestampFlags);
    // Beyond the system's limit only with privilege; the plain request takes what it may.
    if (setsockopt(socket.fd, SOL_SOCKET, SO_RCVBUFFORCE, &ReceiveBufferBytes,
                   sizeof ReceiveBufferBytes) != 0) {
        setsockopt(socket.fd, SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes,
                   sizeof ReceiveBufferBytes);
    }
}

void EchoService::closeSockets() {
    for (FamilySocket& socket : sockets_) {
        if (socket.fd >= 0) close(socket.fd);
        socket.fd = -1;
        socket.mode = Mode::Unbound;
    }
    if (wakeLeader_ >= 0) close(wakeLeader_);
    wakeLeader_ = -1;
}

EchoService::~EchoService() {
    closeSockets();
}

std::string EchoService::familyError(AddressFamily family) const {
    if (bound(family)) return {};
    if (!bound()) return startupError_;
    return family == AddressFamily::V4 ? StartupFailureText : V6FailureText;
}

bool EchoService::claimFamilyAdvice(AddressFamily family) {
    return !socketOf(family).adviceGiven.exchange(true);
}

EchoHandle EchoService::IcmpCreateFile() {
    if (!bound()) return INVALID_HANDLE_VALUE;
    std::lock_guard lock(lock_);
    const EchoHandle handle = nextHandle_++;
    exchanges_.emplace(handle, std::make_shared<Exchange>());
    return handle;
}

void EchoService::IcmpCloseHandle(EchoHandle handle) {
    std::shared_ptr<Exchange> exchange;
    std::lock_guard lock(lock_);
    auto it = exchanges_.find(handle);
    if (it == exchanges_.end()) return;
    exchange = std::move(it->second);
    exchanges_.erase(it);
}

size_t EchoService::openHandles() const {
    std::lock_guard lock(lock_);
    return exchanges_.size();
}

std::shared_ptr<EchoService::Exchange> EchoService::findExchange(EchoHandle handle) const {
    std::lock_guard lock(lock_);
    auto it = exchanges_.find(handle);
    return it == exchanges_.end() ? nullptr : it->second;
}

uint32_t EchoService::IcmpSendEcho(EchoHandle handle, const IpAddress& destAddress,
                                   const void* requestData, uint16_t requestSize,
                                   const IP_OPTION_INFORMATION* options, void* replyBuffer,
                                   uint32_t replySize, int32_t timeoutMs, CancelSignal* cancel,
                                   EchoDetail* detail) {
    if (replyBuffer == nullptr || replySize < sizeof(ICMP_ECHO_REPLY)) return 0;
    const auto finish = [&](const Outcome& outcome) {
        ICMP_ECHO_REPLY reply;
        reply.Status = outcome.status;
        reply.Address = outcome.responder;
        reply.RoundTripTime = outcome.roundTripMs;
        std::memcpy(replyBuffer, &reply, sizeof reply);
        if (detail != nullptr) *detail = outcome.detail;
        return outcome.status == IP_SUCCESS ? 1u : 0u;
    };
    auto found = findExchange(handle);
    if (!found || (requestSize > 0 && requestData == nullptr) || options == nullptr) {
        Outcome refused;
        refused.status = IP_GENERAL_FAILURE;
        return finish(refused);
    }
    return finish(exchange(*found, destAddress, static_cast<const uint8_t*>(requestData),
                           requestSize, options->Ttl, timeoutMs, cancel));
}

EchoService::Outcome EchoService::exchange(Exchange& exchange, const IpAddress& destAddress,
                                           const uint8_t* data, size_t size, uint8_t ttl,
                                           int32_t timeoutMs, CancelSignal* cancel) {
    std::vector<uint8_t> payload(data, data + size);
    FamilySocket& socket = socketOf(destAddress.family());
    if (socket.mode == Mode::Unbound) {
        Outcome refused;
        refused.status = IP_GENERAL_FAILURE;
        return refused;
    }
    {
        std::lock_guard lock(lock_);
        // Sequences of outstanding echoes are not handed out again.
        while (waiting_.count(nextSequence_) != 0)
            ++nextSequence_;
        EchoKey& key = exchange.key;
        key.destination = destAddress;
        key.identifier = socket.identifier;
        key.sequence = nextSequence_++;
        const uint64_t nonce = nonces_();
        std::memcpy(key.nonce.data(), &nonce, EchoNonceSize);
        key.nonceBytes = static_cast<uint8_t>(std::min(size, EchoNonceSize));
        std::copy(key.nonce.begin(), key.nonce.begin() + key.nonceBytes, payload.begin());
        exchange.answered = exchange.cancelled = false;
        exchange.receivedNs.reset();
        exchange.sentStampNs.reset();
        exchange.stampKey.reset();
        waiting_[key.sequence] = &exchange;
    }
    const auto stopWaiting = [&] {
        std::lock_guard lock(lock_);
        waiting_.erase(exchange.key.sequence);
    };
    // The kernel of a datagram socket writes its own identifier into the request.
    const std::vector<uint8_t> packet =
        BuildEchoRequest(socket.mode == Mode::Raw ? socket.identifier : 0, exchange.key.sequence,
                         payload.data(), size, destAddress.family());

    Outcome outcome;
    const int64_t sentMono = monotonicNs();
    const int64_t sentReal = realtimeNs();
    outcome.detail.sentUtcUs = sentReal / 1000;
    if (!send(socket, exchange, packet, destAddress, ttl)) {
        const int failure = errno;
        stopWaiting();
        outcome.status = IP_GENERAL_FAILURE;
        if (failure == EMSGSIZE) outcome.detail.usableSize = LargestEchoData;
        return outcome;
    }

    const int64_t deadlineMono = sentMono + int64_t{std::max(timeoutMs, 0)} * 1'000'000;
    const auto deadline =
        std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineMono));
    // Declared before the lock, so the hook is gone only after the lock is released.
    CancelSignal::Hook hook(cancel, [&] {
        std::lock_guard lock(lock_);
        exchange.cancelled = true;
        exchange.changed.notify_all();
        if (leader_ == &exchange) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t written = write(wakeLeader_, &one, sizeof one);
        }
    });
    std::unique_lock lock(lock_);
    while (!exchange.answered && !exchange.cancelled && monotonicNs() < deadlineMono) {
        if (leader_ == nullptr) {
            leader_ = &exchange;
            lock.unlock();
            lead(deadlineMono);
            lock.lock();
            leader_ = nullptr;
        } else {
            exchange.changed.wait_until(lock, deadline);
        }
    }
    waiting_.erase(exchange.key.sequence);
    // Someone must go on reading for those still waiting.
    if (leader_ == nullptr && !waiting_.empty()) waiting_.begin()->second->changed.notify_all();
    if (!exchange.answered) return outcome;
    const IcmpMessage& answer = exchange.answer;
    if (!answer.isError())
        outcome.status = IP_SUCCESS;
    else if (answer.source.isV4())
        outcome.status = StatusForIcmpError(answer.type, answer.code);
    else
        outcome.status = StatusForIcmp6Error(answer.type, answer.code);
    outcome.responder = answer.source;
    const bool kernelSent = exchange.sentStampNs.has_value();
    const EchoTime time =
        MeasureRoundTrip(kernelSent ? exchange.sentStampNs : std::optional<int64_t>(sentReal),
                         kernelSent, exchange.receivedNs, exchange.receivedMono - sentMono);
    outcome.roundTripMs = static_cast<uint32_t>(time.milliseconds());
    outcome.detail.roundTripUs = time.microseconds();
    outcome.detail.clock = time.clock;
    outcome.detail.icmpType = answer.type;
    outcome.detail.icmpCode = answer.code;
    return outcome;
}

bool EchoService::send(FamilySocket& socket, Exchange& exchange, const std::vector<uint8_t>& packet,
                       const IpAddress& destAddress, uint8_t ttl) {
    sockaddr_storage to{};
    const socklen_t toLength = destAddress.toSocketAddress(to);
    iovec io{const_cast<uint8_t*>(packet.data()), packet.size()};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = toLength;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    const int ttlValue = ttl;
    const bool v4 = socket.family == AddressFamily::V4;
    const int level = v4 ? int{SOL_IP} : int{SOL_IPV6};
    const int socketOption = v4 ? int{IP_TTL} : int{IPV6_UNICAST_HOPS};
    const auto setOnSocket = [&] {
        setsockopt(socket.fd, level, socketOption, &ttlValue, sizeof ttlValue);
    };

    std::lock_guard sending(sendLock_);
    if (socket.ttlByControlMessage) {
        // The TTL travels with the request, so one socket serves every hop.
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = level;
        header->cmsg_type = v4 ? int{IP_TTL} : int{IPV6_HOPLIMIT};
        header->cmsg_len = CMSG_LEN(sizeof ttlValue);
        std::memcpy(CMSG_DATA(header), &ttlValue, sizeof ttlValue);
    } else {
        setOnSocket();
    }
    {
        std::lock_guard lock(lock_);
        exchange.stampKey = socket.nextStampKey;
    }
    ssize_t sent = sendmsg(socket.fd, &message, 0);
    if (sent < 0 && errno == EINVAL && socket.ttlByControlMessage) {
        // A kernel without the TTL control message: set it on the socket before each send.
        socket.ttlByControlMessage = false;
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        setOnSocket();
        sent = sendmsg(socket.fd, &message, 0);
    }
    // Every ICMP error another probe received also leaves its errno pending on the shared
    // socket, and the next send fails with it once (which clears it): that failure is not ours,
    // so send again. A refusal of our own request fails every time.
    for (int retry = 0; sent < 0 && retry < 3; ++retry)
        sent = sendmsg(socket.fd, &message, 0);
    if (sent < 0) {
        const int failure = errno;
        std::lock_guard lock(lock_);
        exchange.stampKey.reset();
        errno = failure;
        return false;
    }
    ++socket.nextStampKey;
    return true;
}

void EchoService::lead(int64_t deadlineMono) {
    const int64_t leftNs = deadlineMono - monotonicNs();
    if (leftNs <= 0) return;
    const timespec timeout{static_cast<time_t>(leftNs / 1'000'000'000),
                           static_cast<long>(leftNs % 1'000'000'000)};
    // A family without a socket has -1 there, which poll passes over.
    pollfd entries[3] = {{socketOf(AddressFamily::V4).fd, POLLIN, 0},
                         {socketOf(AddressFamily::V6).fd, POLLIN, 0},
                         {wakeLeader_, POLLIN, 0}};
    if (ppoll(entries, 3, &timeout, nullptr) <= 0) return;
    if (entries[2].revents != 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t drained = read(wakeLeader_, &count, sizeof count);
    }
    for (int index = 0; index < 2; ++index) {
        FamilySocket& socket = sockets_[index];
        // Send stamps first: they belong to requests whose answers may be waiting too.
        if (entries[index].revents & POLLERR) readErrorQueue(socket);
        if (entries[index].revents & POLLIN) readPacket(socket);
    }
}

ssize_t EchoService::receive(const FamilySocket& socket, int flags, sockaddr_storage& from,
                             socklen_t& fromLength, ControlBuffer& control, size_t& controlLength) {
    iovec io{buffer_.data(), buffer_.size()};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control.bytes;
    message.msg_controllen = sizeof control.bytes;
    const ssize_t length = recvmsg(socket.fd, &message, flags | MSG_DONTWAIT);
    controlLength = message.msg_controllen;
    fromLength = message.msg_namelen;
    return length;
}

void EchoService::readErrorQueue(FamilySocket& socket) {
    uint8_t* buffer = buffer_.data();
    const size_t size = buffer_.size();
    sockaddr_storage from{};
    socklen_t fromLength = 0;
    ControlBuffer control;
    size_t controlLength = 0;
    const ssize_t length = receive(socket, MSG_ERRQUEUE, from, fromLength, control, controlLength);
    if (length < 0) {
        // An error the kernel could not queue leaves only the socket error set; clear it, or
        // poll would report it again at once.
        if (errno == EAGAIN) {
            int pending = 0;
            socklen_t pendingSize = sizeof pending;
            getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &pending, &pendingSize);
        }
        return;
    }
    const ReceivedControl parsed = ParseControlMessages(control.bytes, controlLength);
    // A send stamp comes without an address; the socket's family is what matters then.
    const IpAddress quoted =
        IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&from), fromLength)
            .value_or(socket.family == AddressFamily::V4 ? IpAddress::fromV4(0) : AnyV6());
    if (quoted.family() != socket.family) return;
    const ErrorQueueEntry entry =
        ParseErrorQueueEntry(parsed, buffer, std::min(static_cast<size_t>(length), size), quoted);
    switch (entry.kind) {
        case ErrorQueueEntry::Kind::SendStamp: {
            std::lock_guard lock(lock_);
            for (auto& [sequence, exchange] : waiting_) {
                if (exchange->key.destination.family() == socket.family &&
                    exchange->stampKey == entry.key) {
                    exchange->sentStampNs = entry.stampNs;
                    break;
                }
            }
            return;
        }
        case ErrorQueueEntry::Kind::IcmpError:
            // Only the datagram socket reports ICMP errors here; a raw one reads them as packets.
            if (socket.mode == Mode::Datagram) deliver(entry.message, parsed.stampNs);
            return;
        default:
            return;  // a local error belongs to a send that has already failed
    }
}

void EchoService::readPacket(FamilySocket& socket) {
    uint8_t* buffer = buffer_.data();
    const size_t size = buffer_.size();
    sockaddr_storage from{};
    socklen_t fromLength = 0;
    ControlBuffer control;
    size_t controlLength = 0;
    const ssize_t length = receive(socket, 0, from, fromLength, control, controlLength);
    if (length <= 0) return;
    const size_t bytes = std::min(static_cast<size_t>(length), size);
    const ReceivedControl parsed = ParseControlMessages(control.bytes, controlLength);
    std::optional<IcmpMessage> answer;
    if (socket.family == AddressFamily::V4 && socket.mode == Mode::Raw) {
        answer = ParseIcmpPacket(buffer, bytes);
    } else {
        const auto source =
            IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&from), fromLength);
        if (!source || source->family() != socket.family) return;
        answer = socket.mode == Mode::Raw ? ParseIcmp6Packet(buffer, bytes, *source)
                                          : ParseDatagramReply(buffer, bytes, *source);
    }
    if (answer) deliver(*answer, parsed.stampNs);
}

void EchoService::deliver(const IcmpMessage& message, std::optional<int64_t> stampNs) {
    const int64_t now = monotonicNs();
    std::lock_guard lock(lock_);
    auto it = waiting_.find(message.sequence);
    if (it == waiting_.end()) return;
    Exchange& exchange = *it->second;
    if (exchange.answered || !AnswersEcho(message, exchange.key)) return;
    exchange.answer = message;
    exchange.receivedNs = stampNs;
    exchange.receivedMono = now;
    exchange.answered = true;
    exchange.changed.notify_all();
}

}  // namespace hoplark
