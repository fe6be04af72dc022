#include <gtest/gtest.h>

#include <sstream>

#include <algorithm>
#include <chrono>

#include "probe/CancelSignal.h"
#include "probe/TTrace.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::NetnsChain;

// One probe, as "responder rtt" text, so that a child process can hand it back.
std::string probeText(EchoService& service, const std::string& destination, int ttl,
                      int timeoutMs = 3000) {
    std::string failures;
    TTrace probe(service, [&](const std::string& message) { failures += message; });
    probe.TTL = static_cast<uint8_t>(ttl);
    probe.Destination = destination;
    probe.Timeout = timeoutMs;
    probe.Probe();
    std::ostringstream out;
    out << (probe.ResponderIP.empty() ? "-" : probe.ResponderIP) << " " << probe.RoundTrip
        << failures;
    return out.str();
}

std::string modeName(EchoService::Mode mode) {
    switch (mode) {
        case EchoService::Mode::Datagram:
            return "datagram";
        case EchoService::Mode::Raw:
            return "raw";
        default:
            return "unbound";
    }
}

// Probes hops 1..n+1 of the chain and reports the mode, then one line per hop.
std::string traceChain(const NetnsChain& chain) {
    EchoService service;
    std::string out = modeName(service.mode()) + "\n";
    for (int ttl = 1; ttl <= chain.routers() + 1; ++ttl) {
        out += probeText(service, chain.targetAddress(), ttl) + "\n";
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::string responder(const std::string& line) {
    return line.substr(0, line.find(' '));
}
int roundTrip(const std::string& line) {
    return std::stoi(line.substr(line.find(' ') + 1));
}

TEST(EchoServiceNetns, DiscoversEveryHopAsRootOverTheRawSocket) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 3;
    options.pingGroupOpen = false;
    NetnsChain chain(options);
    const auto result = chain.runInClient([&] { return traceChain(chain); });
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto hops = lines(result.output);
    ASSERT_EQ(hops.size(), 5u) << result.output;
    EXPECT_EQ(hops[0], "raw");
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(responder(hops[k]), chain.routerAddress(k));
    EXPECT_EQ(responder(hops[4]), chain.targetAddress());
    for (int k = 1; k <= 4; ++k)
        EXPECT_LT(roundTrip(hops[k]), 100) << hops[k];
}

TEST(EchoServiceNetns, DiscoversEveryHopAsNobodyOverDatagramSockets) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 3;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    const auto result =
        chain.runInClient([&] { return traceChain(chain); }, NetnsChain::RunAs::Nobody);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto hops = lines(result.output);
    ASSERT_EQ(hops.size(), 5u) << result.output;
    EXPECT_EQ(hops[0], "datagram");
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(responder(hops[k]), chain.routerAddress(k));
    EXPECT_EQ(responder(hops[4]), chain.targetAddress());
    for (int k = 1; k <= 4; ++k)
        EXPECT_LT(roundTrip(hops[k]), 100) << hops[k];
}

TEST(EchoServiceNetns, NobodyWithoutAnyIcmpSocketGetsTheStartupFailure) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 1;
    options.pingGroupOpen = false;
    NetnsChain chain(options);
    const auto result = chain.runInClient(
        [&] {
            EchoService service;
            return modeName(service.mode()) + "\n" + service.startupError() + "\n" +
                   probeText(service, chain.targetAddress(), 64);
        },
        NetnsChain::RunAs::Nobody);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto out = lines(result.output);
    ASSERT_EQ(out.size(), 3u) << result.output;
    EXPECT_EQ(out[0], "unbound");
    EXPECT_EQ(out[1], EchoService::StartupFailureText);
    EXPECT_EQ(out[2], "- 9999");  // no responder, no message box per probe
}

// Unusable answers, in both modes: each must end as an empty responder and 9999.
TEST(EchoServiceNetns, UnreachableSilentAndUnsendableProbesAreLost) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 3;
    options.silentRouters = {2};
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    for (bool datagram : {true, false}) {
        const auto result = chain.runInClient([&] {
            EchoService service({.allowDatagram = datagram, .allowRaw = !datagram});
            std::string out = modeName(service.mode()) + "\n";
            out += probeText(service, NetnsChain::unroutedAddress(), 64) + "\n";
            out += probeText(service, chain.targetAddress(), 2, 300) + "\n";
            out += probeText(service, chain.targetAddress(), 3) + "\n";
            for (int size : {0, -5, 40000}) {
                service.setPacketSize(size);
                out += probeText(service, chain.targetAddress(), 64) + "\n";
            }
            service.setPacketSize(1400);
            out += probeText(service, chain.targetAddress(), 64) + "\n";
            return out;
        });
        ASSERT_EQ(result.exitCode, 0) << result.output;
        const auto out = lines(result.output);
        ASSERT_EQ(out.size(), 8u) << result.output;
        EXPECT_EQ(out[0], datagram ? "datagram" : "raw");
        EXPECT_EQ(out[1], "- 9999") << "destination unreachable from the last router";
        EXPECT_EQ(out[2], "- 9999") << "silent router times out";
        EXPECT_EQ(responder(out[3]), chain.routerAddress(3)) << "hops beyond a silent one answer";
        EXPECT_EQ(out[4], "- 9999") << "packet size 0";
        EXPECT_EQ(out[5], "- 9999") << "negative packet size";
        EXPECT_EQ(out[6], "- 9999") << "packet size above 16 bits";
        EXPECT_EQ(responder(out[7]), chain.targetAddress()) << "large but valid packet";
    }
}

TEST(EchoServiceNetns, KnownDelayIsReportedToTheMillisecond) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 2;
    options.pingGroupOpen = true;
    options.delayedHostMs = 20;
    NetnsChain chain(options);
    for (bool datagram : {true, false}) {
        const auto result = chain.runInClient([&] {
            EchoService service({.allowDatagram = datagram, .allowRaw = !datagram});
            std::string out;
            for (int i = 0; i < 5; ++i) {
                out += probeText(service, NetnsChain::delayedHostAddress(), 64) + "\n";
            }
            return out;
        });
        ASSERT_EQ(result.exitCode, 0) << result.output;
        std::vector<int> trips;
        for (const auto& line : lines(result.output)) {
            EXPECT_EQ(responder(line), NetnsChain::delayedHostAddress()) << line;
            trips.push_back(roundTrip(line));
        }
        ASSERT_EQ(trips.size(), 5u);
        // The median, so that one scheduling hiccup of the test machine does not count.
        std::sort(trips.begin(), trips.end());
        EXPECT_NEAR(trips[2], 20, 1) << result.output << (datagram ? " datagram" : " raw");
    }
}

TEST(EchoServiceNetns, CancellationEndsAWaitingProbeAtOnce) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 2;
    options.silentRouters = {1};
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    for (bool datagram : {true, false}) {
        const auto result = chain.runInClient([&] {
            EchoService service({.allowDatagram = datagram, .allowRaw = !datagram});
            CancelSignal cancel;
            cancel.cancel();
            TTrace probe(service, {}, cancel.fd());
            probe.TTL = 1;
            probe.Destination = chain.targetAddress();
            probe.Timeout = 9998;
            const auto start = std::chrono::steady_clock::now();
            probe.Probe();
            const auto took = std::chrono::steady_clock::now() - start;
            return std::to_string(probe.RoundTrip) + " " +
                   std::to_string(took < std::chrono::seconds(1)) + " " +
                   std::to_string(service.openHandles());
        });
        EXPECT_EQ(result.output, "9999 1 0");
    }
}

}  // namespace
}  // namespace hoplark
