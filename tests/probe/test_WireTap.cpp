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
    const auto probeAll = [&] {
        const auto result = chain.runInClient([&] {
            WireTap tap("right");
            EchoService service({.allowDatagram = true, .allowRaw = false});
            std::ostringstream out;
            for (int i = 0; i < 5; ++i) {
                for (int ttl = 1; ttl <= 3; ++ttl) {
                    TTrace probe(service);
                    probe.TTL = static_cast<uint8_t>(ttl);
                    probe.Destination = chain.targetAddress();
                    probe.Timeout = 2000;
                    probe.Probe();
                    const auto trips = tap.drain();
                    out << ttl << " " << probe.RoundTripUs << " "
                        << (trips.size() == 1 ? trips.front().ns : -1) << "\n";
                }
            }
            return out.str();
        });
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return result.output;
    };
    const auto medians = [](const std::string& text) {
        std::vector<std::vector<int64_t>> byHop(3);
        std::istringstream in(text);
        for (int ttl = 0; in >> ttl;) {
            int64_t senderUs = 0, wireNs = 0;
            in >> senderUs >> wireNs;
            EXPECT_GE(wireNs, 0) << text;
            // The same two moments: the tap's stamp of a request going out is taken as its copy is
            // made, a microsecond or so before the sender's own stamp at the device.
            EXPECT_NEAR(static_cast<double>(wireNs) / 1000.0, static_cast<double>(senderUs), 20)
                << text;
            byHop.at(static_cast<size_t>(ttl - 1)).push_back(wireNs);
        }
        std::vector<int64_t> result;
        for (auto& trips : byHop) {
            std::sort(trips.begin(), trips.end());
            result.push_back(trips.empty() ? -1 : trips[trips.size() / 2]);
        }
        return result;
    };
    const auto before = medians(probeAll());
    chain.setReturnDelay(1, microseconds(1300));
    const auto after = medians(probeAll());
    ASSERT_EQ(before.size(), 3u);
    EXPECT_NEAR(static_cast<double>(after[0] - before[0]), 0, 200'000);
    EXPECT_NEAR(static_cast<double>(after[1] - before[1]), 1'000'000, 200'000);
    EXPECT_NEAR(static_cast<double>(after[2] - before[2]), 1'000'000, 200'000);
}

}  // namespace
}  // namespace hoplark
