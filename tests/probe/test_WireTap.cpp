#include "support/WireTap.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <vector>

#include "probe/IcmpPacket.h"
#include "probe/TTrace.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::NetnsChain;
using test::WireTap;

uint32_t address(const char* text) {
    uint32_t value = 0;
    inet_pton(AF_INET, text, &value);
    return value;
}

// An IPv4 packet around `icmp`, as it would pass the wire.
std::vector<uint8_t> ipPacket(uint32_t from, uint32_t to, const std::vector<uint8_t>& icmp) {
    std::vector<uint8_t> packet(IpHeaderMinSize);
    packet[0] = 0x45;
    const size_t total = IpHeaderMinSize + icmp.size();
    packet[2] = static_cast<uint8_t>(total >> 8);
    packet[3] = static_cast<uint8_t>(total);
    packet[8] = 64;
    packet[9] = 1;
    std::copy_n(reinterpret_cast<const uint8_t*>(&from), 4, packet.begin() + 12);
    std::copy_n(reinterpret_cast<const uint8_t*>(&to), 4, packet.begin() + 16);
    const uint16_t sum = InternetChecksum(packet.data(), packet.size());
    packet[10] = static_cast<uint8_t>(sum >> 8);
    packet[11] = static_cast<uint8_t>(sum);
    packet.insert(packet.end(), icmp.begin(), icmp.end());
    return packet;
}

std::vector<uint8_t> echo(uint8_t type, uint16_t identifier, uint16_t sequence) {
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    auto icmp = BuildEchoRequest(identifier, sequence, data, sizeof data);
    icmp[0] = type;
    icmp[2] = icmp[3] = 0;
    const uint16_t sum = InternetChecksum(icmp.data(), icmp.size());
    icmp[2] = static_cast<uint8_t>(sum >> 8);
    icmp[3] = static_cast<uint8_t>(sum);
    return icmp;
}

// A router's Time Exceeded quoting `request` (its IP header and first 8 ICMP bytes).
std::vector<uint8_t> timeExceeded(const std::vector<uint8_t>& request) {
    std::vector<uint8_t> icmp(IcmpHeaderSize + IpHeaderMinSize + 8, 0);
    icmp[0] = IcmpTimeExceeded;
    std::copy_n(request.begin(), IpHeaderMinSize + 8, icmp.begin() + IcmpHeaderSize);
    const uint16_t sum = InternetChecksum(icmp.data(), icmp.size());
    icmp[2] = static_cast<uint8_t>(sum >> 8);
    icmp[3] = static_cast<uint8_t>(sum);
    return icmp;
}

// Answers are matched to requests by what the wire shows (destination, identifier, sequence),
// each request once, whichever kind of answer it gets.
TEST(WireTap, MatchesAnswersToTheRequestsTheyName) {
    WireTap tap;
    const uint32_t client = address("10.99.0.1"), router = address("10.99.0.2"),
                   target = address("10.99.3.2");
    const auto first = ipPacket(client, target, echo(IcmpEchoRequest, 7, 1));
    const auto second = ipPacket(client, target, echo(IcmpEchoRequest, 7, 2));
    EXPECT_FALSE(tap.observe(first.data(), first.size(), true, 1'000'000));
    EXPECT_FALSE(tap.observe(second.data(), second.size(), true, 1'100'000));

    // The router's answer to the second request; the first is still open.
    const auto fromRouter = ipPacket(router, client, timeExceeded(second));
    const auto routerTrip = tap.observe(fromRouter.data(), fromRouter.size(), false, 1'131'000);
    ASSERT_TRUE(routerTrip);
    EXPECT_EQ(routerTrip->from, router);
    EXPECT_EQ(routerTrip->sequence, 2);
    EXPECT_EQ(routerTrip->ns, 31'000);
    // A second answer to the same request, or one the tap never saw go out, is no round trip.
    EXPECT_FALSE(tap.observe(fromRouter.data(), fromRouter.size(), false, 1'200'000));
    const auto stranger = ipPacket(target, client, echo(IcmpEchoReply, 7, 9));
    EXPECT_FALSE(tap.observe(stranger.data(), stranger.size(), false, 1'200'000));
    // An answer coming in is never taken for a request going out, nor the other way round.
    const auto reply = ipPacket(target, client, echo(IcmpEchoReply, 7, 1));
    EXPECT_FALSE(tap.observe(reply.data(), reply.size(), true, 1'300'000));

    const auto replyTrip = tap.observe(reply.data(), reply.size(), false, 8'700'000);
    ASSERT_TRUE(replyTrip);
    EXPECT_EQ(replyTrip->from, target);
    EXPECT_EQ(replyTrip->ns, 7'700'000);
}

// An error quoting a request to another destination answers a different probe, though the
// identifier and sequence are the same (two tracers, or one tracing two hosts).
TEST(WireTap, TellsDestinationsApart) {
    WireTap tap;
    const uint32_t client = address("10.99.0.1"), router = address("10.99.0.2");
    const auto toOne = ipPacket(client, address("10.99.3.2"), echo(IcmpEchoRequest, 7, 1));
    const auto toOther = ipPacket(client, address("10.98.0.1"), echo(IcmpEchoRequest, 7, 1));
    tap.observe(toOne.data(), toOne.size(), true, 0);
    tap.observe(toOther.data(), toOther.size(), true, 500);
    const auto answer = ipPacket(router, client, timeExceeded(toOther));
    const auto trip = tap.observe(answer.data(), answer.size(), false, 40'500);
    ASSERT_TRUE(trip);
    EXPECT_EQ(trip->ns, 40'000);
}

// One probe's round trip as the sender's kernel stamps and as the tap on the wire saw it.
struct StampPair {
    int ttl = 0;
    int64_t senderNs = 0;  // from the sender's rounded microseconds
    int64_t wireNs = -1;   // -1: the tap saw no round trip of it
    int clock = -1;
};

int64_t median(std::vector<int64_t> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// On a real path the tap sees the probes of an ICMP datagram socket, whose identifier the kernel
// chose, and times them as the sender's own kernel stamps do; a delay line whose delay changes
// while it runs shows the new delay on the wire.
TEST(WireTapNetns, AgreesWithTheSendersKernelStamps) {
    HOPLARK_REQUIRE_NETNS();
    using std::chrono::microseconds;
    test::NetnsChainOptions options;
    options.routers = 2;
    options.pingGroupOpen = true;
    options.returnDelays = {{1, microseconds(300)}};
    NetnsChain chain(options);
    constexpr int Rounds = 9;
    const auto probeAll = [&] {
        const auto result = chain.runInClient([&] {
            WireTap tap("right");
            EchoService service({.allowDatagram = true, .allowRaw = false});
            std::ostringstream out;
            for (int i = 0; i < Rounds; ++i) {
                for (int ttl = 1; ttl <= 3; ++ttl) {
                    TTrace probe(service);
                    probe.TTL = static_cast<uint8_t>(ttl);
                    probe.Destination = chain.targetAddress();
                    probe.Timeout = 2000;
                    probe.Probe();
                    const auto trips = tap.drain();
                    out << ttl << " " << probe.RoundTripUs << " "
                        << (trips.size() == 1 ? trips.front().ns : -1) << " "
                        << static_cast<int>(probe.Clock) << "\n";
                }
            }
            return out.str();
        });
        EXPECT_EQ(result.exitCode, 0) << result.output;
        std::vector<StampPair> pairs;
        std::istringstream in(result.output);
        for (StampPair pair; in >> pair.ttl >> pair.senderNs >> pair.wireNs >> pair.clock;) {
            pair.senderNs *= 1000;
            pairs.push_back(pair);
        }
        EXPECT_EQ(pairs.size(), static_cast<size_t>(Rounds * 3)) << result.output;
        return std::make_pair(pairs, result.output);
    };
    // The fastest round trip of each hop: a busy machine only ever adds delay.
    const auto fastestByHop = [](const std::vector<StampPair>& pairs) {
        std::vector<int64_t> fastest(3, -1);
        for (const auto& pair : pairs) {
            auto& hop = fastest.at(static_cast<size_t>(pair.ttl - 1));
            if (pair.wireNs >= 0 && (hop < 0 || pair.wireNs < hop)) hop = pair.wireNs;
        }
        return fastest;
    };
    const auto [before, beforeText] = probeAll();
    chain.setReturnDelay(1, microseconds(1300));
    const auto [after, afterText] = probeAll();
    const std::string both = beforeText + "--\n" + afterText;

    // The same two moments: the tap copies a request going out just before the sender's kernel
    // stamps it at the device, and both read the answer's one arrival stamp. So the wire's round
    // trip is never the shorter, beyond the rounding of the sender's microseconds, while a
    // user-space stamp at either end of the sender's would make it shorter by a system call or a
    // wake-up. A busy machine can hold the kernel up between the two send stamps of a pair
    // (another test's namespace work beside this one does), which only lengthens the wire's trip,
    // by microseconds as a rule: not for most pairs, and not by a millisecond.
    std::vector<int64_t> wireLeadNs;
    for (const auto* pairs : {&before, &after}) {
        for (const auto& pair : *pairs) {
            ASSERT_GE(pair.wireNs, 0) << both;
            EXPECT_EQ(pair.clock, static_cast<int>(EchoClock::Kernel)) << both;
            const int64_t lead = pair.wireNs - pair.senderNs;
            EXPECT_GE(lead, -1'000) << both;
            EXPECT_LT(lead, 1'000'000) << both;
            wireLeadNs.push_back(lead);
        }
    }
    EXPECT_LE(median(wireLeadNs), 20'000) << both;

    // Never faster than the delay line holds the answers, and not slower by more than the path's
    // forwarding and the line's wake-ups; hop 1 is not behind the line.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr int64_t wakeUpSlackNs = 1'800'000;
#else
    constexpr int64_t wakeUpSlackNs = 900'000;
#endif
    const auto fastestBefore = fastestByHop(before);
    const auto fastestAfter = fastestByHop(after);
    const int64_t delayBeforeNs[] = {0, 300'000, 300'000};
    const int64_t delayAfterNs[] = {0, 1'300'000, 1'300'000};
    for (size_t hop = 0; hop < 3; ++hop) {
        const std::string where = "hop " + std::to_string(hop + 1) + "\n" + both;
        EXPECT_GE(fastestBefore[hop], delayBeforeNs[hop]) << where;
        EXPECT_LT(fastestBefore[hop], delayBeforeNs[hop] + wakeUpSlackNs) << where;
        EXPECT_GE(fastestAfter[hop], delayAfterNs[hop]) << where;
        EXPECT_LT(fastestAfter[hop], delayAfterNs[hop] + wakeUpSlackNs) << where;
    }
}

}  // namespace
}  // namespace hoplark
