#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "probe/TTrace.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::NetnsChain;

struct Probed {
    std::string responder;
    std::string unreachableFrom;
    uint32_t unreachableStatus = 0;
    EchoClock clock = EchoClock::Monotonic;
    std::string failures;
};

Probed probe(EchoService& service, const std::string& destination, int ttl) {
    Probed out;
    TTrace trace(service, [&](const std::string& message) { out.failures += message; });
    trace.TTL = static_cast<uint8_t>(ttl);
    trace.Destination = destination;
    trace.Timeout = 3000;
    trace.Probe();
    out.responder = trace.ResponderIP.empty() ? "-" : trace.ResponderIP;
    out.unreachableFrom = trace.UnreachableFrom;
    out.unreachableStatus = trace.UnreachableStatus;
    out.clock = trace.Clock;
    return out;
}

// Every hop of the IPv6 path, the unrouted address and, through the same service, the IPv4
// path: one line each.
std::string traceBoth(const NetnsChain& chain) {
    EchoService service;
    std::ostringstream out;
    out << (service.mode(AddressFamily::V6) == EchoService::Mode::Raw ? "raw" : "datagram") << "\n";
    for (int ttl = 1; ttl <= chain.routers() + 1; ++ttl) {
        const Probed hop = probe(service, chain.targetAddress6(), ttl);
        out << hop.responder << (hop.clock == EchoClock::Kernel ? " kernel" : " other")
            << hop.failures << "\n";
    }
    const Probed unrouted = probe(service, "[" + NetnsChain::unroutedAddress6() + "]", 8);
    out << unrouted.responder << " from " << unrouted.unreachableFrom << " "
        << (unrouted.unreachableStatus == IP_DEST_NET_UNREACHABLE ? "no-route" : "other") << "\n";
    out << probe(service, chain.targetAddress(), 8).responder << "\n";
    return out.str();
}

std::string expectedLines(const NetnsChain& chain, const std::string& mode) {
    std::string expected = mode + "\n";
    for (int router = 1; router <= chain.routers(); ++router)
        expected += chain.routerAddress6(router) + " kernel\n";
    expected += chain.targetAddress6() + " kernel\n";
    expected += "- from " + chain.routerAddress6(chain.routers()) + " no-route\n";
    expected += chain.targetAddress() + "\n";
    return expected;
}

TEST(EchoService6Netns, TracesIPv6AsNobodyOverDatagramAndAsRootOverRaw) {
    HOPLARK_REQUIRE_NETNS();
    for (const bool datagram : {true, false}) {
        SCOPED_TRACE(datagram ? "nobody, datagram" : "root, raw");
        test::NetnsChainOptions options;
        options.routers = 3;
        options.ipv6 = true;
        options.pingGroupOpen = datagram;
        NetnsChain chain(options);
        const auto result =
            chain.runInClient([&] { return traceBoth(chain); },
                              datagram ? NetnsChain::RunAs::Nobody : NetnsChain::RunAs::Root);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(result.output, expectedLines(chain, datagram ? "datagram" : "raw"));
    }
}

TEST(EchoService6Netns, ProbesOfBothFamiliesShareTheServiceAtOnce) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 2;
    options.ipv6 = true;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    const auto result = chain.runInClient(
        [&] {
            EchoService service;
            constexpr int Threads = 8;
            constexpr int Rounds = 10;
            std::vector<std::string> wrong(Threads);
            std::vector<std::thread> threads;
            for (int i = 0; i < Threads; ++i) {
                threads.emplace_back([&, i] {
                    // Alternate families and hops, so answers of both sockets interleave.
                    const bool v6 = i % 2 == 0;
                    const int ttl = i % 3 + 1;
                    const std::string target = v6 ? chain.targetAddress6() : chain.targetAddress();
                    const std::string expected =
                        ttl <= chain.routers()
                            ? (v6 ? chain.routerAddress6(ttl) : chain.routerAddress(ttl))
                            : target;
                    for (int round = 0; round < Rounds; ++round) {
                        const Probed hop = probe(service, target, ttl);
                        if (hop.responder != expected) wrong[i] += hop.responder + " ";
                    }
                });
            }
            for (auto& thread : threads)
                thread.join();
            std::string out;
            for (const auto& text : wrong)
                out += text;
            return out.empty() ? std::string("all answered") : out;
        },
        NetnsChain::RunAs::Nobody);
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "all answered");
}

}  // namespace
}  // namespace hoplark
