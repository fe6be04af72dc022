#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/errqueue.h>
#include <linux/net_tstamp.h>
#include <sys/socket.h>

#include <cstring>
#include <vector>

#include "probe/ControlMessages.h"

namespace hoplark {
namespace {

// A control buffer laid out the way recvmsg() fills it.
class ControlBuffer {
public:
    template <typename T>
    ControlBuffer& add(int level, int type, const T& value, size_t extra = 0) {
        const size_t start = bytes_.size();
        bytes_.resize(start + CMSG_SPACE(sizeof value + extra), 0);
        cmsghdr header{};
        header.cmsg_len = CMSG_LEN(sizeof value + extra);
        header.cmsg_level = level;
        header.cmsg_type = type;
        std::memcpy(&bytes_[start], &header, sizeof header);
        std::memcpy(&bytes_[start + CMSG_LEN(0)], &value, sizeof value);
        return *this;
    }
    ControlBuffer& error(uint8_t origin, uint8_t type, uint32_t data = 0,
                         const char* from = nullptr) {
        struct {
            sock_extended_err error;
            sockaddr_in offender;
        } record{};
        record.error.ee_errno = EHOSTUNREACH;
        record.error.ee_origin = origin;
        record.error.ee_type = type;
        record.error.ee_data = data;
        if (from != nullptr) {
            record.offender.sin_family = AF_INET;
            record.offender.sin_addr.s_addr = inet_addr(from);
        }
        return add(SOL_IP, IP_RECVERR, record);
    }
    ControlBuffer& stamp(int64_t sec, long nsec) {
        scm_timestamping stamps{};
        stamps.ts[0].tv_sec = sec;
        stamps.ts[0].tv_nsec = nsec;
        return add(SOL_SOCKET, SCM_TIMESTAMPING, stamps);
    }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// The quoted request as a datagram socket's error queue returns it: ICMP header and data.
const std::vector<uint8_t> Quoted = {8, 0, 0, 0, 0x12, 0x34, 0, 7, 1, 2, 3, 4, 5, 6, 7, 8, 0xAA};

ErrorQueueEntry entryOf(ControlBuffer& control, const std::vector<uint8_t>& payload,
                        const char* quotedDestination = "10.99.1.2") {
    const auto parsed = ParseControlMessages(control.bytes().data(), control.bytes().size());
    return ParseErrorQueueEntry(parsed, payload.data(), payload.size(),
                                IpAddress::fromV4(inet_addr(quotedDestination)));
}

TEST(ControlMessages, ErrorQueueEntriesAreClassified) {
    using Kind = ErrorQueueEntry::Kind;
    {
        ControlBuffer control;
        control.stamp(1'700'000'000, 5).error(SO_EE_ORIGIN_ICMP, 11, 0, "10.99.0.2");
        const auto entry = entryOf(control, Quoted);
        ASSERT_EQ(entry.kind, Kind::IcmpError);
        const IcmpMessage& m = entry.message;
        EXPECT_EQ(m.source, IpAddress::fromV4(inet_addr("10.99.0.2")));
        EXPECT_EQ(m.type, 11);
        EXPECT_EQ(m.identifier, 0x1234);
        EXPECT_EQ(m.sequence, 7);
        EXPECT_EQ(m.quotedDestination, IpAddress::fromV4(inet_addr("10.99.1.2")));
        EXPECT_EQ(m.dataBytes, EchoNonceSize);
        EXPECT_EQ(m.data[7], 8);
        EchoKey ours{
            IpAddress::fromV4(inet_addr("10.99.1.2")), 0x1234, 7, {1, 2, 3, 4, 5, 6, 7, 8}, 8};
        EXPECT_TRUE(AnswersEcho(m, ours));
        EchoKey elsewhere = ours;
        elsewhere.destination = IpAddress::fromV4(inet_addr("10.98.0.1"));
        EXPECT_FALSE(AnswersEcho(m, elsewhere)) << "quoted destination is not ours";
    }
    {
        ControlBuffer control;
        control.stamp(1'700'000'000, 250).error(SO_EE_ORIGIN_TIMESTAMPING, 0, 41);
        const auto entry = entryOf(control, {});
        ASSERT_EQ(entry.kind, Kind::SendStamp);
        EXPECT_EQ(entry.key, 41u);
        EXPECT_EQ(entry.stampNs, 1'700'000'000LL * 1'000'000'000 + 250);
    }
    struct Ignored {
        const char* name;
        ControlBuffer control;
        std::vector<uint8_t> payload;
    };
    std::vector<Ignored> ignored;
    ignored.push_back({"redirect", {}, Quoted});
    ignored.back().control.error(SO_EE_ORIGIN_ICMP, 5, 0, "10.99.0.2");
    ignored.push_back({"no offender", {}, Quoted});
    ignored.back().control.error(SO_EE_ORIGIN_ICMP, 11);
    ignored.push_back({"quote shorter than an echo header", {}, {8, 0, 0, 0}});
    ignored.back().control.error(SO_EE_ORIGIN_ICMP, 11, 0, "10.99.0.2");
    auto reply = Quoted;
    reply[0] = 0;
    ignored.push_back({"quote of an echo reply", {}, reply});
    ignored.back().control.error(SO_EE_ORIGIN_ICMP, 11, 0, "10.99.0.2");
    ignored.push_back({"stamp without its time", {}, {}});
    ignored.back().control.error(SO_EE_ORIGIN_TIMESTAMPING, 0, 3);
    ignored.push_back({"no extended error", {}, Quoted});
    ignored.back().control.stamp(5, 5);
    for (auto& c : ignored)
        EXPECT_EQ(entryOf(c.control, c.payload).kind, Kind::Ignored) << c.name;
}

TEST(ControlMessages, MalformedBuffersEndTheWalkWithoutReadingPastThem) {
    ControlBuffer good;
    good.stamp(1'700'000'000, 9).error(SO_EE_ORIGIN_ICMP, 11, 0, "10.99.0.2");
    const auto& bytes = good.bytes();
    // Every truncation: what is whole is read, nothing beyond.
    for (size_t length = 0; length <= bytes.size(); ++length) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
        cut.shrink_to_fit();
        const auto parsed = ParseControlMessages(cut.data(), cut.size());
        EXPECT_EQ(parsed.hasError, length == bytes.size()) << length;
    }
    // A header claiming more than the buffer holds, or less than itself.
    for (size_t claimed : {size_t{0}, size_t{4}, bytes.size() + 1, size_t{1} << 40}) {
        auto bad = bytes;
        cmsghdr header{};
        std::memcpy(&header, bad.data(), sizeof header);
        header.cmsg_len = claimed;
        std::memcpy(bad.data(), &header, sizeof header);
        const auto parsed = ParseControlMessages(bad.data(), bad.size());
        EXPECT_FALSE(parsed.stampNs) << claimed;
        EXPECT_FALSE(parsed.hasError) << claimed;
    }
    EXPECT_FALSE(ParseControlMessages(nullptr, 0).hasError);
}

}  // namespace
}  // namespace hoplark
