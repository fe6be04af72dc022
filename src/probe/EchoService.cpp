#include "probe/EchoService.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <linux/net_tstamp.h>
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

sockaddr_in socketAddress(uint32_t address) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = address;
    return sin;
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
    uint32_t responder = 0;
    uint32_t roundTripMs = 0;
    EchoDetail detail;
};

EchoService::EchoService(const BindOptions& options) {
    std::random_device random;
    nonces_.seed((static_cast<uint64_t>(random()) << 32) ^ random());
    if (options.allowDatagram && openDatagram()) {
        mode_ = Mode::Datagram;
    } else if (options.allowRaw && openRaw()) {
        mode_ = Mode::Raw;
    } else {
        startupError_ = StartupFailureText;
        return;
    }
    if (options.dropCapabilities) {
        const std::string failure = PrivilegeDrop::DropAll();
        if (!failure.empty()) {
            closeSocket();
            mode_ = Mode::Unbound;
            startupError_ = "Error: could not give up privileges after opening the ICMP socket (" +
                            failure + ").";
            return;
        }
    }
    buffer_.resize(mode_ == Mode::Raw ? 65536 : 256);
}

bool EchoService::openDatagram() {
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (socket_ < 0) return false;
    // The kernel keeps the socket's port as the identifier of every request.
    sockaddr_in any = socketAddress(INADDR_ANY);
    sockaddr_in bound{};
    socklen_t boundSize = sizeof bound;
    if (bind(socket_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &boundSize) != 0) {
        closeSocket();
        return false;
    }
    identifier_ = ntohs(bound.sin_port);
    const int on = 1;
    setsockopt(socket_, SOL_IP, IP_RECVERR, &on, sizeof on);
    return configureSocket();
}

bool EchoService::openRaw() {
    socket_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (socket_ < 0) return false;
    // Only echo replies and the errors that end an echo exchange reach the receiver.
    icmp_filter filter{};
    filter.data =
        ~((1u << IcmpEchoReply) | (1u << IcmpDestinationUnreachable) | (1u << IcmpSourceQuench) |
          (1u << IcmpTimeExceeded) | (1u << IcmpParameterProblem));
    setsockopt(socket_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    std::random_device random;
    identifier_ = static_cast<uint16_t>(random() ^ static_cast<unsigned>(getpid()));
    return configureSocket();
}

bool EchoService::configureSocket() {
    setsockopt(socket_, SOL_SOCKET, SO_TIMESTAMPING, &TimestampFlags, sizeof TimestampFlags);
    // Beyond the system's limit only with privilege; the plain request takes what it may.
    if (setsockopt(socket_, SOL_SOCKET, SO_RCVBUFFORCE, &ReceiveBufferBytes,
                   sizeof ReceiveBufferBytes) != 0) {
        setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes, sizeof ReceiveBufferBytes);
    }
    wakeLeader_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeLeader_ < 0) {
        closeSocket();
        return false;
    }
    return true;
}

void EchoService::closeSocket() {
    if (socket_ >= 0) close(socket_);
    if (wakeLeader_ >= 0) close(wakeLeader_);
    socket_ = wakeLeader_ = -1;
}

EchoService::~EchoService() {
    closeSocket();
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

uint32_t EchoService::IcmpSendEcho(EchoHandle handle, uint32_t destAddress, const void* requestData,
                                   uint16_t requestSize, const IP_OPTION_INFORMATION* options,
                                   void* replyBuffer, uint32_t replySize, int32_t timeoutMs,
                                   CancelSignal* cancel, EchoDetail* detail) {
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

EchoService::Outcome EchoService::exchange(Exchange& exchange, uint32_t destAddress,
                                           const uint8_t* data, size_t size, uint8_t ttl,
                                           int32_t timeoutMs, CancelSignal* cancel) {
    std::vector<uint8_t> payload(data, data + size);
    {
        std::lock_guard lock(lock_);
        // Sequences of outstanding echoes are not handed out again.
        while (waiting_.count(nextSequence_) != 0)
            ++nextSequence_;
        EchoKey& key = exchange.key;
        key.destination = destAddress;
        key.identifier = identifier_;
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
    const std::vector<uint8_t> packet = BuildEchoRequest(
        mode_ == Mode::Raw ? identifier_ : 0, exchange.key.sequence, payload.data(), size);

    Outcome outcome;
    const int64_t sentMono = monotonicNs();
    const int64_t sentReal = realtimeNs();
    outcome.detail.sentUtcUs = sentReal / 1000;
    if (!send(exchange, packet, destAddress, ttl)) {
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
    outcome.status = answer.isError() ? StatusForIcmpError(answer.type, answer.code) : IP_SUCCESS;
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

bool EchoService::send(Exchange& exchange, const std::vector<uint8_t>& packet, uint32_t destAddress,
                       uint8_t ttl) {
    const sockaddr_in to = socketAddress(destAddress);
    iovec io{const_cast<uint8_t*>(packet.data()), packet.size()};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&to);
    message.msg_namelen = sizeof to;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    const int ttlValue = ttl;

    std::lock_guard sending(sendLock_);
    if (ttlByControlMessage_) {
        // The TTL travels with the request, so one socket serves every hop.
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_IP;
        header->cmsg_type = IP_TTL;
        header->cmsg_len = CMSG_LEN(sizeof ttlValue);
        std::memcpy(CMSG_DATA(header), &ttlValue, sizeof ttlValue);
    } else {
        setsockopt(socket_, SOL_IP, IP_TTL, &ttlValue, sizeof ttlValue);
    }
    {
        std::lock_guard lock(lock_);
        exchange.stampKey = nextStampKey_;
    }
    ssize_t sent = sendmsg(socket_, &message, 0);
    if (sent < 0 && errno == EINVAL && ttlByControlMessage_) {
        // A kernel without the TTL control message: set it on the socket before each send.
        ttlByControlMessage_ = false;
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        setsockopt(socket_, SOL_IP, IP_TTL, &ttlValue, sizeof ttlValue);
        sent = sendmsg(socket_, &message, 0);
    }
    // Every ICMP error another probe received also leaves its errno pending on the shared
    // socket, and the next send fails with it once (which clears it): that failure is not ours,
    // so send again. A refusal of our own request fails every time.
    for (int retry = 0; sent < 0 && retry < 3; ++retry)
        sent = sendmsg(socket_, &message, 0);
    if (sent < 0) {
        const int failure = errno;
        std::lock_guard lock(lock_);
        exchange.stampKey.reset();
        errno = failure;
        return false;
    }
    ++nextStampKey_;
    return true;
}

void EchoService::lead(int64_t deadlineMono) {
    const int64_t leftNs = deadlineMono - monotonicNs();
    if (leftNs <= 0) return;
    const timespec timeout{static_cast<time_t>(leftNs / 1'000'000'000),
                           static_cast<long>(leftNs % 1'000'000'000)};
    pollfd entries[2] = {{socket_, POLLIN, 0}, {wakeLeader_, POLLIN, 0}};
    if (ppoll(entries, 2, &timeout, nullptr) <= 0) return;
    if (entries[1].revents != 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t drained = read(wakeLeader_, &count, sizeof count);
    }
    // Send stamps first: they belong to requests whose answers may be waiting too.
    if (entries[0].revents & POLLERR) readErrorQueue();
    if (entries[0].revents & POLLIN) readPacket();
}

ssize_t EchoService::receive(int flags, sockaddr_in& from, ControlBuffer& control,
                             size_t& controlLength) {
    iovec io{buffer_.data(), buffer_.size()};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control.bytes;
    message.msg_controllen = sizeof control.bytes;
    const ssize_t length = recvmsg(socket_, &message, flags | MSG_DONTWAIT);
    controlLength = message.msg_controllen;
    return length;
}

void EchoService::readErrorQueue() {
    uint8_t* buffer = buffer_.data();
    const size_t size = buffer_.size();
    sockaddr_in from{};
    ControlBuffer control;
    size_t controlLength = 0;
    const ssize_t length = receive(MSG_ERRQUEUE, from, control, controlLength);
    if (length < 0) {
        // An error the kernel could not queue leaves only the socket error set; clear it, or
        // poll would report it again at once.
        if (errno == EAGAIN) {
            int pending = 0;
            socklen_t pendingSize = sizeof pending;
            getsockopt(socket_, SOL_SOCKET, SO_ERROR, &pending, &pendingSize);
        }
        return;
    }
    const ReceivedControl parsed = ParseControlMessages(control.bytes, controlLength);
    const ErrorQueueEntry entry = ParseErrorQueueEntry(
        parsed, buffer, std::min(static_cast<size_t>(length), size), from.sin_addr.s_addr);
    switch (entry.kind) {
        case ErrorQueueEntry::Kind::SendStamp: {
            std::lock_guard lock(lock_);
            for (auto& [sequence, exchange] : waiting_) {
                if (exchange->stampKey == entry.key) {
                    exchange->sentStampNs = entry.stampNs;
                    break;
                }
            }
            return;
        }
        case ErrorQueueEntry::Kind::IcmpError:
            // Only the datagram socket reports ICMP errors here; a raw one reads them as packets.
            if (mode_ == Mode::Datagram) deliver(entry.message, parsed.stampNs);
            return;
        default:
            return;  // a local error belongs to a send that has already failed
    }
}

void EchoService::readPacket() {
    uint8_t* buffer = buffer_.data();
    const size_t size = buffer_.size();
    sockaddr_in from{};
    ControlBuffer control;
    size_t controlLength = 0;
    const ssize_t length = receive(0, from, control, controlLength);
    if (length <= 0) return;
    const size_t bytes = std::min(static_cast<size_t>(length), size);
    const ReceivedControl parsed = ParseControlMessages(control.bytes, controlLength);
    const auto answer = mode_ == Mode::Raw
                            ? ParseIcmpPacket(buffer, bytes)
                            : ParseDatagramReply(buffer, bytes, from.sin_addr.s_addr);
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
