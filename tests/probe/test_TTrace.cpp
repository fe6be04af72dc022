#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "probe/TTrace.h"

namespace hoplark {
namespace {

// Every outcome of the facility other than an echo reply or a time-exceeded report from a real
// address is a lost sample, with no responder.
TEST(TTrace, ClassifiesTheFacilityStatus) {
    struct Case {
        const char* name;
        uint32_t status;
        const char* address;
        uint32_t roundTrip;
        std::optional<std::string> responder;
    };
    const Case cases[] = {
        {"echo reply", IP_SUCCESS, "10.0.0.9", 12, "10.0.0.9"},
        {"echo reply in 0 ms is valid", IP_SUCCESS, "10.0.0.1", 0, "10.0.0.1"},
        {"time exceeded in transit", IP_TTL_EXPIRED_TRANSIT, "10.0.0.5", 7, "10.0.0.5"},
        {"time exceeded from 255.255.255.255", IP_TTL_EXPIRED_TRANSIT, "255.255.255.255", 7,
         std::nullopt},
        {"timed out", IP_REQ_TIMED_OUT, "10.0.0.5", 0, std::nullopt},
        {"host unreachable", IP_DEST_HOST_UNREACHABLE, "10.0.0.5", 3, std::nullopt},
        {"net unreachable", IP_DEST_NET_UNREACHABLE, "10.0.0.5", 3, std::nullopt},
        {"reassembly time exceeded", IP_TTL_EXPIRED_REASSEM, "10.0.0.5", 3, std::nullopt},
        {"source quench", IP_SOURCE_QUENCH, "10.0.0.5", 3, std::nullopt},
        {"general failure", IP_GENERAL_FAILURE, "10.0.0.5", 3, std::nullopt},
    };
    for (const auto& c : cases) {
        ICMP_ECHO_REPLY reply;
        reply.Status = c.status;
        reply.Address = IpAddress::fromV4(inet_addr(c.address));
        reply.RoundTripTime = c.roundTrip;
        const auto answer = ClassifyEchoReply(reply);
        ASSERT_EQ(answer.has_value(), c.responder.has_value()) << c.name;
        if (answer) {
            EXPECT_EQ(answer->responder.text(), *c.responder) << c.name;
            EXPECT_EQ(answer->roundTripMs, static_cast<int32_t>(c.roundTrip)) << c.name;
        }
    }
}

}  // namespace
}  // namespace hoplark
