#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <mutex>
#include <sstream>

#include "probe/TTrace.h"
#include "support/IcmpInjector.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::IcmpInjector;
using test::NetnsChain;

// What the forger in the target's namespace does with each echo request it sees.
enum class Forgery {
    HonestReply,            // a correct echo reply
    BadChecksum,            // the same reply with a wrong ICMP checksum
    ErrorQuotingUs,         // time exceeded quoting the request as it was
    ErrorQuotingOtherHost,  // time exceeded whose quoted header names another destination
    OlderProbesLateReply,   // first request unanswered; the next gets a reply with its numbers
                            // but the first one's data, as a late reply after a wrap would be
};

void putChecksum(std::vector<uint8_t>& bytes, size_t from, size_t length, size_t at) {
    bytes[at] = bytes[at + 1] = 0;
    const uint16_t sum = InternetChecksum(bytes.data() + from, length);
    bytes[at] = static_cast<uint8_t>(sum >> 8);
    bytes[at + 1] = static_cast<uint8_t>(sum);
}

uint32_t sourceOf(const std::vector<uint8_t>& packet) {
    uint32_t source;
    std::memcpy(&source, &packet[12], 4);
    return source;
}

size_t headerLength(const std::vector<uint8_t>& packet) {
    return static_cast<size_t>(packet[0] & 0x0F) * 4;
}

std::vector<uint8_t> replyTo(const std::vector<uint8_t>& request, const uint8_t* data) {
    const size_t header = headerLength(request);
    std::vector<uint8_t> icmp(request.begin() + header, request.end());
    if (data != nullptr) std::copy(data, data + (icmp.size() - 8), icmp.begin() + 8);
    icmp[0] = IcmpEchoReply;
    putChecksum(icmp, 0, icmp.size(), 2);
    return icmp;
}

std::vector<uint8_t> timeExceededFor(const std::vector<uint8_t>& request, uint32_t quotedTo) {
    std::vector<uint8_t> icmp = {IcmpTimeExceeded, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> quoted(request);
    std::memcpy(&quoted[16], &quotedTo, 4);
    putChecksum(quoted, 0, headerLength(quoted), 10);
    icmp.insert(icmp.end(), quoted.begin(), quoted.end());
    putChecksum(icmp, 0, icmp.size(), 2);
    return icmp;
}

class Forger {
public:
    std::vector<IcmpInjector::Forged> answer(const std::vector<uint8_t>& request) {
        std::lock_guard lock(lock_);
        const uint32_t back = sourceOf(request);
        switch (forgery) {
            case Forgery::HonestReply:
                return {{back, replyTo(request, nullptr)}};
            case Forgery::BadChecksum: {
                auto icmp = replyTo(request, nullptr);
                icmp[3] ^= 0x5A;
                return {{back, icmp}};
            }
            case Forgery::ErrorQuotingUs: {
                uint32_t destination;
                std::memcpy(&destination, &request[16], 4);
                return {{back, timeExceededFor(request, destination)}};
            }
            case Forgery::ErrorQuotingOtherHost:
                return {{back, timeExceededFor(request, inet_addr("10.98.0.1"))}};
            case Forgery::OlderProbesLateReply:
                if (older_.empty()) {
                    older_ = request;
                    return {};
                }
                if (older_.size() != request.size()) return {};
                return {{back, replyTo(request, older_.data() + headerLength(older_) + 8)}};
        }
        return {};
    }

    void start(Forgery next) {
        std::lock_guard lock(lock_);
        forgery = next;
        older_.clear();
    }

private:
    std::mutex lock_;
    Forgery forgery = Forgery::HonestReply;
    std::vector<uint8_t> older_;
};

// Answers forged by a host on the path (here the target itself, whose kernel stays silent) must
// never be counted unless they are what an honest answer would be.
TEST(EchoServiceForgeryNetns, ForgedAndStaleAnswersAreNeverCounted) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 1;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    chain.writeSysctl(chain.targetNamespace(), "net/ipv4/icmp_echo_ignore_all", "1");
    Forger forger;
    IcmpInjector injector(chain.targetNamespace(), [&](const std::vector<uint8_t>& request) {
        return forger.answer(request);
    });
    struct Case {
        const char* name;
        Forgery forgery;
        bool counted;
    };
    const Case cases[] = {
        {"honest reply", Forgery::HonestReply, true},
        {"reply with a bad checksum", Forgery::BadChecksum, false},
        {"error quoting our request", Forgery::ErrorQuotingUs, true},
        {"error quoting another destination", Forgery::ErrorQuotingOtherHost, false},
        {"late reply of an older probe with the same numbers", Forgery::OlderProbesLateReply,
         false},
    };
    for (bool datagram : {true, false}) {
        for (const auto& c : cases) {
            forger.start(c.forgery);
            const auto result = chain.runInClient([&] {
                EchoService service({.allowDatagram = datagram, .allowRaw = !datagram});
                std::string out;
                // The older probe first, when the case needs one; it goes unanswered.
                const int probes = c.forgery == Forgery::OlderProbesLateReply ? 2 : 1;
                for (int i = 0; i < probes; ++i) {
                    TTrace probe(service);
                    probe.TTL = 64;
                    probe.Destination = chain.targetAddress();
                    probe.Timeout = 400;
                    probe.Probe();
                    out = probe.ResponderIP.empty() ? "-" : probe.ResponderIP;
                }
                return out;
            });
            ASSERT_EQ(result.exitCode, 0) << result.output;
            EXPECT_EQ(result.output, c.counted ? chain.targetAddress() : "-")
                << c.name << (datagram ? " (datagram)" : " (raw)");
        }
    }
}

}  // namespace
}  // namespace hoplark
