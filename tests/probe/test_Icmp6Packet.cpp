#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "probe/ControlMessages.h"
#include "probe/EchoService.h"
#include "probe/IcmpPacket.h"
#include "support/Addresses.h"

namespace hoplark {
namespace {

constexpr uint16_t Id = 0x4321;
constexpr uint16_t Seq = 9;
const EchoNonce Nonce = {8, 7, 6, 5, 4, 3, 2, 1};

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> echoData(size_t size = 56) {
    std::vector<uint8_t> data(size, 0xAA);
    std::memcpy(data.data(), Nonce.data(), std::min(size, Nonce.size()));
    return data;
}

std::vector<uint8_t> echo(uint8_t type, uint16_t id = Id, uint16_t seq = Seq, size_t size = 56) {
    const std::vector<uint8_t> data = echoData(size);
    std::vector<uint8_t> packet =
        BuildEchoRequest(id, seq, data.data(), data.size(), AddressFamily::V6);
    packet[0] = type;
    return packet;
}

// An IPv6 header from fd00:99:0::1 to `destination` whose next header is `next`.
std::vector<uint8_t> ip6Header(const std::string& destination, uint8_t next = 58) {
    std::vector<uint8_t> header(40, 0);
    header[0] = 0x60;
    header[6] = next;
    header[7] = 1;
    std::memcpy(&header[8], Ip("fd00:99:0::1").bytes(), 16);
    std::memcpy(&header[24], Ip(destination).bytes(), 16);
    return header;
}

// An ICMPv6 error quoting our request to `destination`, with `extension` headers between.
std::vector<uint8_t> error(uint8_t type, uint8_t code, const std::string& destination,
                           const std::vector<uint8_t>& extension = {}, uint8_t firstNext = 58) {
    std::vector<uint8_t> message = {type, code, 0, 0, 0, 0, 0, 0};
    return concat(concat(concat(message, ip6Header(destination, firstNext)), extension),
                  echo(Icmp6EchoRequest));
}

EchoKey key(const std::string& destination) {
    return EchoKey{Ip(destination), Id, Seq, Nonce, static_cast<uint8_t>(Nonce.size())};
}

TEST(Icmp6Packet, RepliesAndErrorsAreMatchedLikeIPv4) {
    const IpAddress target = Ip("fd00:99:3::2");
    const IpAddress router = Ip("fd00:99:1::2");
    const auto reply = ParseIcmp6Packet(echo(Icmp6EchoReply).data(), 64, target);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->isError());
    EXPECT_TRUE(AnswersEcho(*reply, key("fd00:99:3::2")));

    const auto exceeded = error(Icmp6TimeExceeded, 0, "fd00:99:3::2");
    const auto timeExceeded = ParseIcmp6Packet(exceeded.data(), exceeded.size(), router);
    ASSERT_TRUE(timeExceeded);
    EXPECT_TRUE(timeExceeded->isError());
    EXPECT_EQ(timeExceeded->source, router);
    EXPECT_TRUE(AnswersEcho(*timeExceeded, key("fd00:99:3::2")));
    // Forged or stray: another destination quoted, another nonce, another family's key.
    EXPECT_FALSE(AnswersEcho(*timeExceeded, key("fd00:99:3::3")));
    EchoKey otherNonce = key("fd00:99:3::2");
    otherNonce.nonce[3] ^= 1;
    EXPECT_FALSE(AnswersEcho(*timeExceeded, otherNonce));
    EchoKey v4 = key("fd00:99:3::2");
    v4.destination = Ip("10.99.3.2");
    EXPECT_FALSE(AnswersEcho(*timeExceeded, v4));

    // Extension headers the router quotes are skipped; a later fragment never is ours.
    const std::vector<uint8_t> hopByHop = {58, 0, 1, 4, 0, 0, 0, 0};
    const auto withOptions = error(Icmp6DestinationUnreachable, 3, "fd00:99:3::2", hopByHop, 0);
    const auto unreachable = ParseIcmp6Packet(withOptions.data(), withOptions.size(), router);
    ASSERT_TRUE(unreachable);
    EXPECT_TRUE(AnswersEcho(*unreachable, key("fd00:99:3::2")));
    EXPECT_EQ(StatusForIcmp6Error(unreachable->type, unreachable->code), IP_DEST_HOST_UNREACHABLE);
    const std::vector<uint8_t> laterFragment = {58, 0, 0, 8, 0, 0, 0, 1};
    const auto fragment = error(Icmp6TimeExceeded, 0, "fd00:99:3::2", laterFragment, 44);
    EXPECT_FALSE(ParseIcmp6Packet(fragment.data(), fragment.size(), router));
}

TEST(Icmp6Packet, OnlyExchangeEndingMessagesOfTheRightShapeAreTaken) {
    const IpAddress router = Ip("fd00:99:1::2");
    const auto good = error(Icmp6TimeExceeded, 0, "fd00:99:3::2");
    // Every cut of a good error is refused, or parsed without reading past the cut.
    for (size_t size = 0; size < good.size(); ++size) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(size));
        cut.shrink_to_fit();
        const auto message = ParseIcmp6Packet(cut.data(), cut.size(), router);
        if (message) {
            EXPECT_LE(message->dataBytes, cut.size());
        }
    }
    // Our own request (seen on loopback), a redirect (137), an error quoting something else.
    const auto request = echo(Icmp6EchoRequest);
    EXPECT_FALSE(ParseIcmp6Packet(request.data(), request.size(), router));
    auto redirect = good;
    redirect[0] = 137;
    EXPECT_FALSE(ParseIcmp6Packet(redirect.data(), redirect.size(), router));
    auto notEcho = good;
    notEcho[8 + 40] = Icmp6EchoReply;
    EXPECT_FALSE(ParseIcmp6Packet(notEcho.data(), notEcho.size(), router));
    auto udp = error(Icmp6TimeExceeded, 0, "fd00:99:3::2", {}, 17);
    EXPECT_FALSE(ParseIcmp6Packet(udp.data(), udp.size(), router));
    // An IPv4 sender never hands over an ICMPv6 message.
    EXPECT_FALSE(ParseIcmp6Packet(good.data(), good.size(), Ip("10.99.0.2")));
    // The datagram socket's reply parser wants the family's own echo reply type.
    const auto reply6 = echo(Icmp6EchoReply);
    EXPECT_TRUE(ParseDatagramReply(reply6.data(), reply6.size(), router));
    EXPECT_FALSE(ParseDatagramReply(reply6.data(), reply6.size(), Ip("10.99.0.2")));
}

TEST(Icmp6Packet, StatusesMeanWhatTheyMeanForIPv4) {
    EXPECT_EQ(StatusForIcmp6Error(Icmp6TimeExceeded, 0), IP_TTL_EXPIRED_TRANSIT);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6TimeExceeded, 1), IP_TTL_EXPIRED_REASSEM);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6DestinationUnreachable, 0), IP_DEST_NET_UNREACHABLE);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6DestinationUnreachable, 1), IP_DEST_HOST_UNREACHABLE);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6DestinationUnreachable, 4), IP_DEST_PORT_UNREACHABLE);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6PacketTooBig, 0), IP_PACKET_TOO_BIG);
    EXPECT_EQ(StatusForIcmp6Error(Icmp6ParameterProblem, 0), IP_PARAM_PROBLEM);
}

}  // namespace
}  // namespace hoplark
