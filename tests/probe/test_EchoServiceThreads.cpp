#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "probe/NameService.h"
#include "probe/TTrace.h"
#include "support/Addresses.h"
#include "support/NetnsChain.h"

namespace hoplark {
namespace {

using test::NetnsChain;

constexpr int Concurrent = 35;

// A full round at once on the one shared socket, TTL 1..35 over a 3-router chain, in both modes.
// Each answer must reach the probe it belongs to, and the errors other probes receive must not
// make a send fail.
TEST(EchoServiceThreads, ConcurrentProbesEachGetTheirOwnAnswer) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 3;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    std::string expected;
    for (int ttl = 1; ttl <= Concurrent; ++ttl) {
        expected += (ttl <= 3 ? chain.routerAddress(ttl) : chain.targetAddress()) + "\n";
    }
    for (bool datagram : {true, false}) {
        const auto result = chain.runInClient([&] {
            EchoService service({.allowDatagram = datagram, .allowRaw = !datagram});
            std::vector<std::string> responders(Concurrent);
            std::vector<std::thread> threads;
            for (int i = 0; i < Concurrent; ++i) {
                threads.emplace_back([&, i] {
                    TTrace probe(service);
                    probe.TTL = static_cast<uint8_t>(i + 1);
                    probe.Destination = chain.targetAddress();
                    probe.Timeout = 3000;
                    probe.Probe();
                    responders[i] = probe.ResponderIP.empty() ? "-" : probe.ResponderIP;
                });
            }
            for (auto& thread : threads)
                thread.join();
            std::string out;
            for (const auto& responder : responders)
                out += responder + "\n";
            return out;
        });
        ASSERT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(result.output, expected) << (datagram ? "datagram" : "raw");
    }
}

// Reverse names through the client's hosts file, 35 lookups at once.
TEST(EchoServiceThreads, ConcurrentReverseLookupsDoNotDisturbEachOther) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 3;
    for (int k = 1; k <= 3; ++k) {
        options.hostNames["10.99." + std::to_string(k - 1) + ".2"] =
            "router" + std::to_string(k) + ".hoplark.test";
    }
    NetnsChain chain(options);
    const auto result = chain.runInClient([&] {
        SystemNameService names;
        std::vector<std::string> found(Concurrent);
        std::vector<std::thread> threads;
        for (int i = 0; i < Concurrent; ++i) {
            threads.emplace_back([&, i] {
                const int router = i % 4 + 1;  // 4 has no name
                const auto name =
                    names.LookupAddress(Ip("10.99." + std::to_string(router - 1) + ".2"));
                found[i] = name.value_or("(none)");
            });
        }
        for (auto& thread : threads)
            thread.join();
        std::string out;
        for (const auto& name : found)
            out += name + "\n";
        const auto forward = names.LookupHost("router2.hoplark.test");
        out += forward ? forward->officialName + " " + forward->addresses.front().text() : "(none)";
        return out;
    });
    ASSERT_EQ(result.exitCode, 0) << result.output;
    std::string expected;
    for (int i = 0; i < Concurrent; ++i) {
        const int router = i % 4 + 1;
        expected +=
            router == 4 ? "(none)\n" : "router" + std::to_string(router) + ".hoplark.test\n";
    }
    expected += "router2.hoplark.test 10.99.1.2";
    EXPECT_EQ(result.output, expected);
}

}  // namespace
}  // namespace hoplark
