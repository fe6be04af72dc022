#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <random>
#include <string>
#include <unordered_set>

#include "probe/IpAddress.h"

namespace hoplark {
namespace {

TEST(IpAddress, IPv4TextReadsAndWritesAsTheCLibraryDoes) {
    // The hand-written forms must agree with inet_aton and inet_ntop on every text and value,
    // the octal, hex, short and malformed forms included.
    const auto classicRead = [](const std::string& text) -> std::optional<uint32_t> {
        in_addr address{};
        if (inet_aton(text.c_str(), &address) == 0) return std::nullopt;
        return address.s_addr;
    };
    const auto classicWrite = [](uint32_t address) {
        char buffer[INET_ADDRSTRLEN] = {};
        in_addr in{address};
        inet_ntop(AF_INET, &in, buffer, sizeof buffer);
        return std::string(buffer);
    };
    for (const char* text :
         {"0.0.0.0",    "255.255.255.255", "1.2.3.4",   "10.99.3.2",  "01.2.3.4",    "1.2.3.04",
          "0x7f.0.0.1", "1.2.3.255",       "1.2.3.256", "1.2.3.1000", "1.2.3.4 ",    " 1.2.3.4",
          "1.2.3.4.",   "1.2.3.4.5",       "1.2.3",     "127.1",      "4294967295",  "1..2.3",
          "1.2..3",     ".1.2.3",          "1.2.3.-4",  "1.2.3.+4",   "00.0.0.0",    "0.0.0.00",
          "9.9.9.9x",   "192.168.001.1",   "1.2.3.4\n", "",           "host.example"}) {
        const auto parsed = IpAddress::Parse(text);
        const auto classic = classicRead(text);
        ASSERT_EQ(parsed.has_value(), classic.has_value()) << text;
        if (parsed) {
            EXPECT_TRUE(parsed->isV4()) << text;
            EXPECT_EQ(parsed->v4(), *classic) << text;
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const uint32_t value = i < 256 ? i * 0x01010101u : random();
        const std::string text = IpAddress::fromV4(value).text();
        ASSERT_EQ(text, classicWrite(value)) << value;
        ASSERT_EQ(IpAddress::Parse(text), IpAddress::fromV4(value)) << text;
    }
}

TEST(IpAddress, IPv6TextIsCanonicalAndAcceptsBracketsAndZones) {
    struct Case {
        const char* typed;
        const char* shown;  // nullptr: refused
    };
    const unsigned loopbackIndex = if_nametoindex("lo");
    ASSERT_NE(loopbackIndex, 0u);
    const std::string numericZone = "fe80::1%" + std::to_string(loopbackIndex);
    const Case cases[] = {
        {"::1", "::1"},
        {"[::1]", "::1"},
        {"FD00:0099:0000:0000:0000:0000:0000:0002", "fd00:99::2"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},
        {"::ffff:10.0.0.1", "::ffff:10.0.0.1"},
        {"fe80::1%lo", "fe80::1%lo"},
        {numericZone.c_str(), "fe80::1%lo"},
        {"[fe80::1%lo]", "fe80::1%lo"},
        // A zone on a global address names nothing to tell apart.
        {"fd00::1%lo", "fd00::1"},
        {"fe80::1%no-such-interface", nullptr},
        {"fe80::1%", nullptr},
        {"[::1", nullptr},
        {"::1]", nullptr},
        {"1:2:3:4:5:6:7:8:9", nullptr},
        {"1::2::3", nullptr},
        {"12345::1", nullptr},
        {"::g", nullptr},
        {" ::1", nullptr},
        {"[]", nullptr},
    };
    for (const Case& c : cases) {
        const auto parsed = IpAddress::Parse(c.typed);
        ASSERT_EQ(parsed.has_value(), c.shown != nullptr) << c.typed;
        if (!parsed) {
            EXPECT_FALSE(IpAddress::WhyNotAnAddress(c.typed).empty()) << c.typed;
            continue;
        }
        EXPECT_TRUE(parsed->isV6()) << c.typed;
        EXPECT_EQ(parsed->text(), c.shown) << c.typed;
        // What is shown reads back as the same address.
        EXPECT_EQ(IpAddress::Parse(parsed->text()), parsed) << c.typed;
        EXPECT_TRUE(IpAddress::WhyNotAnAddress(c.typed).empty()) << c.typed;
    }
    EXPECT_NE(IpAddress::WhyNotAnAddress("1::2::3").find("IPv6"), std::string::npos);
    EXPECT_NE(IpAddress::WhyNotAnAddress("fe80::1%nowhere").find("nowhere"), std::string::npos);
}

TEST(IpAddress, ComparesAndHashesByBytesFamilyAndZone) {
    const auto v4 = *IpAddress::Parse("10.0.0.1");
    const auto mapped = *IpAddress::Parse("::ffff:10.0.0.1");
    const auto linkLocal = *IpAddress::Parse("fe80::1");
    const auto zoned = *IpAddress::Parse("fe80::1%lo");
    EXPECT_NE(v4, mapped);  // the same four bytes, another family
    EXPECT_NE(linkLocal, zoned);
    EXPECT_EQ(*IpAddress::Parse("fe80:0::1"), linkLocal);
    EXPECT_TRUE(v4 < mapped || mapped < v4);
    std::unordered_set<IpAddress> seen{v4, mapped, linkLocal, zoned, *IpAddress::Parse("10.0.0.1")};
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_TRUE(IpAddress::fromV4(0xFFFFFFFFu).isLimitedBroadcast());
    EXPECT_FALSE(mapped.isLimitedBroadcast());
}

TEST(IpAddress, SocketAddressesRoundTrip) {
    for (const char* text : {"10.99.1.2", "fd00:99:1::2", "fe80::1%lo"}) {
        const auto address = *IpAddress::Parse(text);
        sockaddr_storage storage{};
        const socklen_t length = address.toSocketAddress(storage);
        EXPECT_EQ(IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&storage), length),
                  address)
            << text;
        // A length too short for the family is no address.
        EXPECT_FALSE(
            IpAddress::fromSocketAddress(reinterpret_cast<const sockaddr*>(&storage), length - 1))
            << text;
    }
}

}  // namespace
}  // namespace hoplark
