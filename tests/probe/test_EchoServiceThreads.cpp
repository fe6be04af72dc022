#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "probe/NameService.h"
#include "probe/TTrace.h"
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
                    names.LookupAddress(InetAddr("10.99." + std::to_string(router - 1) + ".2"));
                found[i] = name.value_or("(none)");
            });
        }
        for (auto& thread : threads)
            thread.join();
        std::string out;
        for (const auto& name : found)
            out += name + "\n";
        const auto forward = names.LookupHost("router2.hoplark.test");
        out += forward ? forward->officialName + " " + InetNtoa(forward->firstAddress) : "(none)";
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

TEST(NameService, AddressTextFollowsTheClassicRules) {
    EXPECT_EQ(InetNtoa(InetAddr("10.99.1.2")), "10.99.1.2");
    EXPECT_EQ(InetNtoa(InetAddr("127.1")), "127.0.0.1");
    EXPECT_EQ(InetAddr("255.255.255.255"), NoAddress);
    for (const char* text : {"", "host.example", "1.2.3.256", "1..2.3"}) {
        EXPECT_EQ(InetAddr(text), NoAddress) << text;
    }
}

TEST(NameService, AddressTextReadsAndWritesAsTheCLibraryDoes) {
    // The hand-written forms must agree with inet_aton and inet_ntop on every text and value,
    // the octal, hex, short and malformed forms included.
    const auto classicRead = [](const std::string& text) {
        in_addr address{};
        return inet_aton(text.c_str(), &address) == 0 ? NoAddress : address.s_addr;
    };
    const auto classicWrite = [](uint32_t address) {
        char buffer[INET_ADDRSTRLEN] = {};
        in_addr in{address};
        inet_ntop(AF_INET, &in, buffer, sizeof buffer);
        return std::string(buffer);
    };
    for (const char* text :
         {"0.0.0.0",    "255.255.255.255", "1.2.3.4",   "10.99.3.2",  "01.2.3.4",   "1.2.3.04",
          "0x7f.0.0.1", "1.2.3.255",       "1.2.3.256", "1.2.3.1000", "1.2.3.4 ",   " 1.2.3.4",
          "1.2.3.4.",   "1.2.3.4.5",       "1.2.3",     "127.1",      "4294967295", "1..2.3",
          "1.2..3",     ".1.2.3",          "1.2.3.-4",  "1.2.3.+4",   "00.0.0.0",   "0.0.0.00",
          "9.9.9.9x",   "192.168.001.1",   "1.2.3.4\n"}) {
        EXPECT_EQ(InetAddr(text), classicRead(text)) << text;
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t address = i < 256 ? i * 0x01010101u : random();
        const std::string text = InetNtoa(address);
        ASSERT_EQ(text, classicWrite(address)) << address;
        ASSERT_EQ(InetAddr(text), classicRead(text)) << text;
    }
}

}  // namespace
}  // namespace hoplark
