#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "probe/IcmpPacket.h"

namespace hoplark {
namespace {

constexpr uint16_t Id = 0x1234;
constexpr uint16_t Seq = 7;

uint32_t addr(const char* text) {
    return inet_addr(text);
}

void putChecksum(std::vector<uint8_t>& bytes, size_t from, size_t length, size_t at) {
    bytes[at] = bytes[at + 1] = 0;
    const uint16_t sum = InternetChecksum(bytes.data() + from, length);
    bytes[at] = static_cast<uint8_t>(sum >> 8);
    bytes[at + 1] = static_cast<uint8_t>(sum);
}

// An IPv4 header of `optionBytes` extra length with these addresses and protocol.
std::vector<uint8_t> ipHeader(uint32_t source, uint32_t destination, size_t optionBytes = 0,
                              uint8_t protocol = 1) {
    std::vector<uint8_t> header(20 + optionBytes, 0);
    header[0] = static_cast<uint8_t>(0x40 | ((20 + optionBytes) / 4));
    header[8] = 64;
    header[9] = protocol;
    std::memcpy(&header[12], &source, 4);
    std::memcpy(&header[16], &destination, 4);
    for (size_t i = 20; i < header.size(); ++i)
        header[i] = 1;  // NOP options
    putChecksum(header, 0, header.size(), 10);
    return header;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The packet with its IP header and ICMP checksums recomputed, where its header can be read.
std::vector<uint8_t> resummed(std::vector<uint8_t> packet) {
    if (packet.size() < 20) return packet;
    const size_t header = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (header < 20 || header > packet.size()) return packet;
    putChecksum(packet, 0, header, 10);
    if (packet.size() >= header + 4)
        putChecksum(packet, header, packet.size() - header, header + 2);
    return packet;
}

const EchoNonce Nonce = {1, 2, 3, 4, 5, 6, 7, 8};

// 56 data bytes: the nonce, then 0xAA.
std::vector<uint8_t> echoData(const EchoNonce& nonce = Nonce, size_t size = 56) {
    std::vector<uint8_t> data(size, 0xAA);
    std::copy(nonce.begin(), nonce.begin() + std::min(size, EchoNonceSize), data.begin());
    return data;
}

EchoKey key(const char* destination, uint16_t id = Id, uint16_t seq = Seq,
            uint8_t nonceBytes = EchoNonceSize) {
    return EchoKey{IpAddress::fromV4(addr(destination)), id, seq, Nonce, nonceBytes};
}

std::vector<uint8_t> echoReply(uint16_t id, uint16_t seq, size_t outerOptions = 0,
                               const std::vector<uint8_t>& data = echoData()) {
    auto icmp = BuildEchoRequest(id, seq, data.data(), data.size());
    icmp[0] = IcmpEchoReply;
    putChecksum(icmp, 0, icmp.size(), 2);
    return concat(ipHeader(addr("10.0.0.9"), addr("10.0.0.1"), outerOptions), icmp);
}

// An error of `type` from 10.0.0.5 quoting our request to `quotedDestination`, with
// `quotedData` bytes of its data.
std::vector<uint8_t> icmpError(uint8_t type, uint8_t code, const char* quotedDestination,
                               uint16_t id, uint16_t seq, size_t quotedOptions = 0,
                               size_t quotedData = 0, const EchoNonce& nonce = Nonce) {
    std::vector<uint8_t> icmp = {type, code, 0, 0, 0, 0, 0, 0};
    const auto data = echoData(nonce);
    auto request = BuildEchoRequest(id, seq, data.data(), data.size());
    request.resize(8 + quotedData);
    icmp = concat(
        icmp, concat(ipHeader(addr("10.0.0.1"), addr(quotedDestination), quotedOptions), request));
    putChecksum(icmp, 0, icmp.size(), 2);
    return concat(ipHeader(addr("10.0.0.5"), addr("10.0.0.1")), icmp);
}

TEST(IcmpPacket, EchoReplyIsMatchedByIdentifierSequenceAndNonce) {
    EchoNonce older = Nonce;
    older[7] ^= 0xFF;
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        EchoKey key;
        bool answers;
    };
    const Case cases[] = {
        {"ours", echoReply(Id, Seq), key("10.0.0.2"), true},
        {"ours with IP options", echoReply(Id, Seq, 40), key("10.0.0.2"), true},
        {"from any address", echoReply(Id, Seq), key("10.0.0.77"), true},
        {"other identifier", echoReply(Id + 1, Seq), key("10.0.0.2"), false},
        {"other sequence", echoReply(Id, Seq + 1), key("10.0.0.2"), false},
        {"an older probe's reply with a reused sequence", echoReply(Id, Seq, 0, echoData(older)),
         key("10.0.0.2"), false},
        {"reply cut short before the nonce", echoReply(Id, Seq, 0, echoData(Nonce, 4)),
         key("10.0.0.2"), false},
        {"0-byte echo", echoReply(Id, Seq, 0, {}), key("10.0.0.2", Id, Seq, 0), true},
        {"3-byte echo carries 3 nonce bytes", echoReply(Id, Seq, 0, echoData(Nonce, 3)),
         key("10.0.0.2", Id, Seq, 3), true},
    };
    for (const auto& c : cases) {
        const auto message = ParseIcmpPacket(c.packet.data(), c.packet.size());
        ASSERT_TRUE(message) << c.name;
        EXPECT_EQ(message->source, IpAddress::fromV4(addr("10.0.0.9"))) << c.name;
        EXPECT_FALSE(message->isError()) << c.name;
        EXPECT_EQ(AnswersEcho(*message, c.key), c.answers) << c.name;
    }
}

TEST(IcmpPacket, ErrorsAreMatchedByTheQuotedRequest) {
    EchoNonce older = Nonce;
    older[0] ^= 0x01;
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        bool answers;
    };
    const Case cases[] = {
        {"time exceeded", icmpError(11, 0, "10.0.0.2", Id, Seq), true},
        {"unreachable", icmpError(3, 1, "10.0.0.2", Id, Seq), true},
        {"quoted options", icmpError(11, 0, "10.0.0.2", Id, Seq, 12), true},
        {"other destination", icmpError(11, 0, "10.0.0.3", Id, Seq), false},
        {"other identifier", icmpError(11, 0, "10.0.0.2", Id + 1, Seq), false},
        {"other sequence", icmpError(11, 0, "10.0.0.2", Id, Seq + 1), false},
        {"quoting the whole request", icmpError(11, 0, "10.0.0.2", Id, Seq, 0, 56), true},
        {"quoting part of the nonce", icmpError(11, 0, "10.0.0.2", Id, Seq, 0, 3), true},
        {"quoting an older probe's nonce", icmpError(11, 0, "10.0.0.2", Id, Seq, 0, 56, older),
         false},
        {"quoting a part of an older nonce", icmpError(11, 0, "10.0.0.2", Id, Seq, 4, 1, older),
         false},
    };
    for (const auto& c : cases) {
        const auto message = ParseIcmpPacket(c.packet.data(), c.packet.size());
        ASSERT_TRUE(message) << c.name;
        EXPECT_TRUE(message->isError()) << c.name;
        EXPECT_EQ(message->source, IpAddress::fromV4(addr("10.0.0.5"))) << c.name;
        EXPECT_EQ(AnswersEcho(*message, key("10.0.0.2")), c.answers) << c.name;
    }
}

// A raw socket is handed ICMP before the kernel checks it: every checksum is ours to verify.
TEST(IcmpPacket, PacketsWithABadChecksumAreRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        size_t corruptAt;
    };
    const Case cases[] = {
        {"echo reply, ICMP checksum", echoReply(Id, Seq), 22},
        {"echo reply, data byte", echoReply(Id, Seq), 60},
        {"echo reply, IP header checksum", echoReply(Id, Seq), 10},
        {"echo reply, IP source", echoReply(Id, Seq), 12},
        {"error, ICMP checksum", icmpError(11, 0, "10.0.0.2", Id, Seq), 22},
        {"error, quoted destination", icmpError(11, 0, "10.0.0.2", Id, Seq), 28 + 16},
        {"error, quoted sequence", icmpError(11, 0, "10.0.0.2", Id, Seq), 48 + 7},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ParseIcmpPacket(c.packet.data(), c.packet.size())) << c.name;
        auto corrupted = c.packet;
        corrupted[c.corruptAt] ^= 0x40;
        EXPECT_FALSE(ParseIcmpPacket(corrupted.data(), corrupted.size())) << c.name;
    }
}

// A router that forwards our request back out of the link it came in on also sends a redirect,
// quoting the request. The request went on, so the redirect must not end the exchange: the
// hop's real answer follows it.
TEST(IcmpPacket, RedirectsQuotingOurRequestAreNotAnswers) {
    for (uint8_t code = 0; code < 4; ++code) {
        const auto redirect = icmpError(IcmpRedirect, code, "10.0.0.2", Id, Seq);
        EXPECT_FALSE(ParseIcmpPacket(redirect.data(), redirect.size())) << int(code);
    }
    struct Case {
        uint8_t type;
        bool ends;
    };
    const Case cases[] = {{IcmpEchoReply, true},        {IcmpDestinationUnreachable, true},
                          {IcmpSourceQuench, true},     {IcmpTimeExceeded, true},
                          {IcmpParameterProblem, true}, {IcmpRedirect, false},
                          {IcmpEchoRequest, false},     {13, false}};
    for (const auto& c : cases)
        EXPECT_EQ(EndsEchoExchange(c.type), c.ends) << int(c.type);
}

TEST(IcmpPacket, MalformedPacketsAreRejectedWithoutReadingPastTheEnd) {
    const auto reply = echoReply(Id, Seq);
    const auto error = icmpError(11, 0, "10.0.0.2", Id, Seq);
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
    };
    std::vector<Case> cases;
    // Every truncation of both kinds of packet: each length must be checked.
    for (size_t length = 0; length < 28; ++length) {
        cases.push_back(
            {"truncated reply", std::vector<uint8_t>(reply.begin(), reply.begin() + length)});
    }
    for (size_t length = 0; length < 56; ++length) {
        cases.push_back(
            {"truncated error", std::vector<uint8_t>(error.begin(), error.begin() + length)});
    }
    // Field by field, with the checksums made right again, so that each check is reached.
    auto badIhl = reply;
    badIhl[0] = 0x44;  // 16 bytes: shorter than any IPv4 header
    cases.push_back({"IHL below 5", resummed(badIhl)});
    auto hugeIhl = reply;
    hugeIhl.resize(30);
    hugeIhl[0] = 0x4F;  // 60 bytes claimed, 30 present
    cases.push_back({"IHL beyond the packet", resummed(hugeIhl)});
    auto version6 = reply;
    version6[0] = 0x65;
    cases.push_back({"not IPv4", resummed(version6)});
    auto udp = reply;
    udp[9] = 17;
    cases.push_back({"not ICMP", resummed(udp)});
    auto quotedBadIhl = error;
    quotedBadIhl[28] = 0x43;
    cases.push_back({"quoted IHL below 5", resummed(quotedBadIhl)});
    auto quotedHugeIhl = error;
    quotedHugeIhl[28] = 0x4F;
    cases.push_back({"quoted IHL beyond the packet", resummed(quotedHugeIhl)});
    auto quotedUdp = error;
    quotedUdp[28 + 9] = 17;
    cases.push_back({"quoted protocol not ICMP", resummed(quotedUdp)});
    auto quotedReply = error;
    quotedReply[48] = IcmpEchoReply;
    cases.push_back({"quoted packet not an echo request", resummed(quotedReply)});
    auto request = reply;
    request[20] = IcmpEchoRequest;
    cases.push_back({"our own request", resummed(request)});
    auto redirectLike = reply;
    redirectLike[20] = 13;  // timestamp
    cases.push_back({"other type", resummed(redirectLike)});
    for (const auto& c : cases) {
        // An exact-size heap copy lets AddressSanitizer catch any read past the end.
        std::vector<uint8_t> exact(c.packet);
        exact.shrink_to_fit();
        EXPECT_FALSE(ParseIcmpPacket(exact.data(), exact.size()))
            << c.name << " (" << exact.size() << " bytes)";
    }
    EXPECT_FALSE(ParseIcmpPacket(nullptr, 0));
}

TEST(IcmpPacket, EchoRequestCarriesItsDataAndAValidChecksum) {
    const std::vector<uint8_t> data(56, 0xAA);
    const auto packet = BuildEchoRequest(0xBEEF, 0x0102, data.data(), data.size());
    ASSERT_EQ(packet.size(), 64u);
    EXPECT_EQ(packet[0], IcmpEchoRequest);
    EXPECT_EQ(packet[4], 0xBE);
    EXPECT_EQ(packet[5], 0xEF);
    EXPECT_EQ(packet[6], 0x01);
    EXPECT_EQ(packet[7], 0x02);
    EXPECT_EQ(InternetChecksum(packet.data(), packet.size()), 0);
    for (size_t i = 8; i < packet.size(); ++i)
        ASSERT_EQ(packet[i], 0xAA);
    // Odd lengths pad the last byte with zero.
    const uint8_t odd[] = {0x01, 0x02, 0x03};
    EXPECT_EQ(InternetChecksum(odd, 3), static_cast<uint16_t>(~(0x0102 + 0x0300)));
}

}  // namespace
}  // namespace hoplark
