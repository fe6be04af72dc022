#include "probe/EchoService.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <linux/net_tstamp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "probe/EchoTiming.h"
#include "probe/IcmpPacket.h"

namespace hoplark {
namespace {

constexpr int TimestampFlags = SOF_TIMESTAMPING_TX_SOFTWARE | SOF_TIMESTAMPING_RX_SOFTWARE |
                               SOF_TIMESTAMPING_SOFTWARE | SOF_TIMESTAMPING_OPT_TSONLY;

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

std::optional<int64_t> softwareStamp(const cmsghdr* cmsg) {
    scm_timestamping stamps{};
    if (cmsg->cmsg_len < CMSG_LEN(sizeof stamps)) return std::nullopt;
    std::memcpy(&stamps, CMSG_DATA(cmsg), sizeof stamps);
    if (stamps.ts[0].tv_sec == 0 && stamps.ts[0].tv_nsec == 0) return std::nullopt;
    return static_cast<int64_t>(stamps.ts[0].tv_sec) * 1'000'000'000 + stamps.ts[0].tv_nsec;
}

sockaddr_in socketAddress(uint32_t address) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = address;
    return sin;
}

// Waits until `fd` is ready, `cancelFd` is readable or the deadline passes. Returns the revents
// of `fd`, 0 on time-out, -1 when cancelled.
int waitReady(int fd, int cancelFd, int64_t deadlineNs) {
    for (;;) {
        const int64_t leftNs = deadlineNs - monotonicNs();
        if (leftNs <= 0) return 0;
        pollfd entries[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
        const int count = cancelFd >= 0 ? 2 : 1;
        const int timeoutMs = static_cast<int>((leftNs + 999'999) / 1'000'000);
        const int ready = poll(entries, count, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (count == 2 && entries[1].revents != 0) return -1;
        if (entries[0].revents != 0) return entries[0].revents;
    }
}

// Drops every capability of the calling thread (and so of every thread it starts afterwards).
void dropAllCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    syscall(SYS_capset, &header, data);
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

// One open handle. In datagram mode it owns its socket; in raw mode it is a registration on
// the shared socket that the receiver thread fills in and signals through wakeFd.
struct EchoService::Exchange {
    ~Exchange() {
        if (socketFd >= 0) close(socketFd);
        if (wakeFd >= 0) close(wakeFd);
    }
    int socketFd = -1;
    int wakeFd = -1;
    uint16_t sequence = 0;
    // Raw mode, guarded by exchangesLock_.
    bool waiting = false;
    uint32_t destination = 0;
    bool answered = false;
    IcmpMessage answer;
    std::optional<int64_t> receivedNs;
};

struct EchoService::Outcome {
    uint32_t status = IP_REQ_TIMED_OUT;
    uint32_t responder = 0;
    uint32_t roundTripMs = 0;
};

EchoService::EchoService(const BindOptions& options) {
    if (options.allowDatagram) {
        const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (probe >= 0) {
            close(probe);
            mode_ = Mode::Datagram;
            return;
        }
    }
    if (options.allowRaw && openRaw(options)) {
        mode_ = Mode::Raw;
        return;
    }
    startupError_ = StartupFailureText;
}

bool EchoService::openRaw(const BindOptions& options) {
    rawSocket_ = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (options.dropCapabilities) dropAllCapabilities();
    if (rawSocket_ < 0) return false;
    // Only echo replies and the errors that end an echo exchange reach the receiver.
    icmp_filter filter{};
    filter.data =
        ~((1u << IcmpEchoReply) | (1u << IcmpDestinationUnreachable) | (1u << IcmpSourceQuench) |
          (1u << IcmpTimeExceeded) | (1u << IcmpParameterProblem));
    setsockopt(rawSocket_, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    const int stampFlags = SOF_TIMESTAMPING_RX_SOFTWARE | SOF_TIMESTAMPING_SOFTWARE;
    setsockopt(rawSocket_, SOL_SOCKET, SO_TIMESTAMPING, &stampFlags, sizeof stampFlags);
    stopReceiver_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopReceiver_ < 0) {
        close(rawSocket_);
        rawSocket_ = -1;
        return false;
    }
    std::random_device random;
    rawIdentifier_ = static_cast<uint16_t>(random() ^ static_cast<unsigned>(getpid()));
    receiver_ = std::thread([this] { receiveLoop(); });
    return true;
}

EchoService::~EchoService() {
    if (receiver_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(stopReceiver_, &one, sizeof one);
        receiver_.join();
    }
    if (stopReceiver_ >= 0) close(stopReceiver_);
    if (rawSocket_ >= 0) close(rawSocket_);
}

EchoHandle EchoService::IcmpCreateFile() {
    if (!bound()) return INVALID_HANDLE_VALUE;
    auto exchange = std::make_shared<Exchange>();
    exchange->sequence = nextSequence_.fetch_add(1, std::memory_order_relaxed);
    if (mode_ == Mode::Datagram) {
        exchange->socketFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (exchange->socketFd < 0) return INVALID_HANDLE_VALUE;
        const int on = 1;
        setsockopt(exchange->socketFd, SOL_IP, IP_RECVERR, &on, sizeof on);
        setsockopt(exchange->socketFd, SOL_SOCKET, SO_TIMESTAMPING, &TimestampFlags,
                   sizeof TimestampFlags);
    } else {
        exchange->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (exchange->wakeFd < 0) return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(exchangesLock_);
    if (mode_ == Mode::Raw) {
        // Sequences identify raw exchanges; skip any still held by an open handle.
        for (;;) {
            bool inUse = false;
            for (const auto& [handle, other] : exchanges_) {
                if (other->sequence == exchange->sequence) inUse = true;
            }
            if (!inUse) break;
            exchange->sequence = nextSequence_.fetch_add(1, std::memory_order_relaxed);
        }
    }
    const EchoHandle handle = nextHandle_++;
    exchanges_.emplace(handle, std::move(exchange));
    return handle;
}

void EchoService::IcmpCloseHandle(EchoHandle handle) {
    std::shared_ptr<Exchange> exchange;
    {
        std::lock_guard lock(exchangesLock_);
        auto it = exchanges_.find(handle);
        if (it == exchanges_.end()) return;
        exchange = std::move(it->second);
        exchanges_.erase(it);
    }
}

size_t EchoService::openHandles() const {
    std::lock_guard lock(exchangesLock_);
    return exchanges_.size();
}

std::shared_ptr<EchoService::Exchange> EchoService::findExchange(EchoHandle handle) const {
    std::lock_guard lock(exchangesLock_);
    auto it = exchanges_.find(handle);
    return it == exchanges_.end() ? nullptr : it->second;
}

uint32_t EchoService::IcmpSendEcho(EchoHandle handle, uint32_t destAddress, const void* requestData,
                                   int16_t requestSize, const IP_OPTION_INFORMATION* options,
                                   void* replyBuffer, uint32_t replySize, int32_t timeoutMs,
                                   int cancelFd) {
    if (replyBuffer == nullptr || replySize < sizeof(ICMP_ECHO_REPLY)) return 0;
    ICMP_ECHO_REPLY reply;
    reply.Status = IP_GENERAL_FAILURE;
    const auto finish = [&](const Outcome& outcome) {
        reply.Status = outcome.status;
        reply.Address = outcome.responder;
        reply.RoundTripTime = outcome.roundTripMs;
        std::memcpy(replyBuffer, &reply, sizeof reply);
        return outcome.status == IP_SUCCESS ? 1u : 0u;
    };
    auto exchange = findExchange(handle);
    if (!exchange || requestSize <= 0 || (requestSize > 0 && requestData == nullptr) ||
        options == nullptr) {
        return finish(Outcome{IP_GENERAL_FAILURE});
    }
    const auto* data = static_cast<const uint8_t*>(requestData);
    const size_t size = static_cast<size_t>(requestSize);
    if (mode_ == Mode::Datagram) {
        return finish(exchangeDatagram(*exchange, destAddress, data, size, options->Ttl, timeoutMs,
                                       cancelFd));
    }
    return finish(
        exchangeRaw(*exchange, destAddress, data, size, options->Ttl, timeoutMs, cancelFd));
}

EchoService::Outcome EchoService::exchangeDatagram(Exchange& exchange, uint32_t destAddress,
                                                   const uint8_t* data, size_t size, uint8_t ttl,
                                                   int32_t timeoutMs, int cancelFd) {
    const int fd = exchange.socketFd;
    const int ttlValue = ttl;
    setsockopt(fd, SOL_IP, IP_TTL, &ttlValue, sizeof ttlValue);
    // The kernel puts the socket's own identifier into the request.
    const std::vector<uint8_t> packet = BuildEchoRequest(0, exchange.sequence, data, size);
    const sockaddr_in to = socketAddress(destAddress);

    const int64_t sentMono = monotonicNs();
    const int64_t deadline = sentMono + static_cast<int64_t>(timeoutMs) * 1'000'000;
    if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0) {
        return Outcome{IP_GENERAL_FAILURE};
    }
    std::optional<int64_t> sentNs;
    std::vector<uint8_t> buffer(packet.size() + 64);
    alignas(cmsghdr) char control[512];
    for (;;) {
        const int ready = waitReady(fd, cancelFd, deadline);
        if (ready <= 0) return Outcome{IP_REQ_TIMED_OUT};
        const int64_t wokeMono = monotonicNs();

        sockaddr_in from{};
        iovec io{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const bool fromErrorQueue = (ready & POLLERR) != 0;
        const ssize_t length =
            recvmsg(fd, &message, MSG_DONTWAIT | (fromErrorQueue ? MSG_ERRQUEUE : 0));
        if (length < 0) {
            // An error the kernel could not queue (its receive buffer was full) leaves the socket
            // error set with the queue empty, and poll would report it again at once: clear it,
            // and keep waiting for an answer that can be read.
            if (fromErrorQueue) {
                int pending = 0;
                socklen_t pendingSize = sizeof pending;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &pendingSize);
            }
            continue;
        }

        std::optional<int64_t> stampNs;
        const sock_extended_err* error = nullptr;
        sock_extended_err errorCopy{};
        sockaddr_in offender{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPING) {
                stampNs = softwareStamp(c);
            } else if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR &&
                       c->cmsg_len >= CMSG_LEN(sizeof errorCopy)) {
                std::memcpy(&errorCopy, CMSG_DATA(c), sizeof errorCopy);
                error = &errorCopy;
                if (c->cmsg_len >= CMSG_LEN(sizeof errorCopy + sizeof offender)) {
                    std::memcpy(&offender, CMSG_DATA(c) + sizeof errorCopy, sizeof offender);
                }
            }
        }
        const auto* icmp = buffer.data();
        const auto bytes = static_cast<size_t>(length);
        if (fromErrorQueue) {
            if (error == nullptr) continue;
            if (error->ee_origin == SO_EE_ORIGIN_TIMESTAMPING) {
                sentNs = stampNs;
                continue;
            }
            if (error->ee_origin == SO_EE_ORIGIN_ICMP) {
                // A redirect came from a router that forwarded the request anyway.
                if (!EndsEchoExchange(error->ee_type)) continue;
                // The quoted request, when present, must be ours.
                if (bytes >= IcmpHeaderSize && (icmp[0] != IcmpEchoRequest ||
                                                ((icmp[6] << 8) | icmp[7]) != exchange.sequence)) {
                    continue;
                }
                Outcome outcome{StatusForIcmpError(error->ee_type, error->ee_code)};
                outcome.responder = offender.sin_addr.s_addr;
                outcome.roundTripMs =
                    static_cast<uint32_t>(RoundTripMs(sentNs, stampNs, wokeMono - sentMono));
                return outcome;
            }
            // A local error (for example a request too big for the path).
            return Outcome{IP_GENERAL_FAILURE};
        }
        if (bytes < IcmpHeaderSize || icmp[0] != IcmpEchoReply ||
            ((icmp[6] << 8) | icmp[7]) != exchange.sequence) {
            continue;
        }
        Outcome outcome{IP_SUCCESS};
        outcome.responder = from.sin_addr.s_addr;
        outcome.roundTripMs =
            static_cast<uint32_t>(RoundTripMs(sentNs, stampNs, wokeMono - sentMono));
        return outcome;
    }
}

EchoService::Outcome EchoService::exchangeRaw(Exchange& exchange, uint32_t destAddress,
                                              const uint8_t* data, size_t size, uint8_t ttl,
                                              int32_t timeoutMs, int cancelFd) {
    {
        std::lock_guard lock(exchangesLock_);
        exchange.destination = destAddress;
        exchange.answered = false;
        exchange.receivedNs.reset();
        exchange.waiting = true;
    }
    const auto stopWaiting = [&] {
        std::lock_guard lock(exchangesLock_);
        exchange.waiting = false;
    };
    const std::vector<uint8_t> packet =
        BuildEchoRequest(rawIdentifier_, exchange.sequence, data, size);
    const sockaddr_in to = socketAddress(destAddress);
    int64_t sentMono = 0;
    int64_t sentNs = 0;
    {
        // The TTL is a property of the shared socket, so setting it and sending go together.
        std::lock_guard lock(sendLock_);
        const int ttlValue = ttl;
        setsockopt(rawSocket_, SOL_IP, IP_TTL, &ttlValue, sizeof ttlValue);
        sentNs = realtimeNs();
        sentMono = monotonicNs();
        if (sendto(rawSocket_, packet.data(), packet.size(), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
            stopWaiting();
            return Outcome{IP_GENERAL_FAILURE};
        }
    }
    const int64_t deadline = sentMono + static_cast<int64_t>(timeoutMs) * 1'000'000;
    const int ready = waitReady(exchange.wakeFd, cancelFd, deadline);
    const int64_t wokeMono = monotonicNs();
    std::lock_guard lock(exchangesLock_);
    exchange.waiting = false;
    if (ready <= 0 || !exchange.answered) return Outcome{IP_REQ_TIMED_OUT};
    const IcmpMessage& answer = exchange.answer;
    Outcome outcome{answer.isError() ? StatusForIcmpError(answer.type, answer.code) : IP_SUCCESS};
    outcome.responder = answer.source;
    // The send stamp is read by the sender while it is running; the receive stamp comes from
    // the kernel, so a late wake-up of an idle-priority worker does not count.
    outcome.roundTripMs =
        static_cast<uint32_t>(RoundTripMs(sentNs, exchange.receivedNs, wokeMono - sentMono));
    return outcome;
}

void EchoService::receiveLoop() {
    std::vector<uint8_t> buffer(LargestEchoData + 64);
    alignas(cmsghdr) char control[256];
    for (;;) {
        pollfd entries[2] = {{rawSocket_, POLLIN, 0}, {stopReceiver_, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[1].revents != 0) return;
        if (entries[0].revents == 0) continue;
        iovec io{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = recvmsg(rawSocket_, &message, MSG_DONTWAIT);
        if (length <= 0) continue;
        std::optional<int64_t> stampNs;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPING) {
                stampNs = softwareStamp(c);
            }
        }
        handleRawPacket(buffer.data(), static_cast<size_t>(length), stampNs);
    }
}

void EchoService::handleRawPacket(const uint8_t* data, size_t size,
                                  std::optional<int64_t> stampNs) {
    const auto message = ParseIcmpPacket(data, size);
    if (!message) return;
    std::lock_guard lock(exchangesLock_);
    for (auto& [handle, exchange] : exchanges_) {
        if (!exchange->waiting || exchange->answered) continue;
        if (!AnswersEcho(*message, exchange->destination, rawIdentifier_, exchange->sequence)) {
            continue;
        }
        exchange->answer = *message;
        exchange->receivedNs = stampNs;
        exchange->answered = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(exchange->wakeFd, &one, sizeof one);
        return;
    }
}

}  // namespace hoplark
