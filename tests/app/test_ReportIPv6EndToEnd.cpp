// The report mode over real IPv6 routers: as nobody over the datagram socket and as root over
// the raw one, names from the namespace's hosts file, and the ways a target can be refused.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/ReportProgram.h"
#include "support/NetnsChain.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

using test::NetnsChain;
using test::ProgramRun;
using test::ReportProgram;

QStringList quick(const QString& target) {
    return {target,
            QStringLiteral("--count"),
            QStringLiteral("2"),
            QStringLiteral("--delay"),
            QStringLiteral("0.2"),
            QStringLiteral("--timeout"),
            QStringLiteral("1500"),
            QStringLiteral("--format"),
            QStringLiteral("json")};
}

std::string text(const ProgramRun& run) {
    return (run.out + run.err).toStdString();
}

TEST(ReportIPv6EndToEnd, TracesAnIPv6PathWithNamesAsNobodyAndAsRoot) {
    HOPLARK_REQUIRE_NETNS();
    ReportProgram program;
    for (const bool asNobody : {true, false}) {
        SCOPED_TRACE(asNobody ? "nobody, datagram socket" : "root, raw socket");
        test::NetnsChainOptions options;
        options.routers = 3;
        options.ipv6 = true;
        // Root gets the raw socket only where unprivileged ICMP is closed.
        options.pingGroupOpen = asNobody;
        options.hostNames = {{"fd00:99:1::2", "router2.six"},
                             {"fd00:99::2", "router1.six"},
                             {"fd00:99:2::2", "router3.six"},
                             {"fd00:99:3::2", "target.six"}};
        NetnsChain chain(options);
        // Typed in brackets, as in a URL: probed and shown in the canonical form.
        const ProgramRun run = program.report(
            chain,
            quick(QStringLiteral("[%1]").arg(QString::fromStdString(chain.targetAddress6()))),
            asNobody);
        ASSERT_EQ(run.exitCode, 0) << text(run);
        const QJsonObject root = ReportProgram::json(run);
        EXPECT_EQ(root["address"].toString().toStdString(), chain.targetAddress6());
        EXPECT_EQ(root["host_name"].toString(), "target.six");
        EXPECT_EQ(root["destination_hop"].toInt(), 4);
        const QJsonArray hops = root["hops"].toArray();
        ASSERT_EQ(hops.size(), 4) << text(run);
        for (int k = 0; k < 4; ++k) {
            const QJsonObject hop = hops[k].toObject();
            const std::string expected =
                k < 3 ? chain.routerAddress6(k + 1) : chain.targetAddress6();
            EXPECT_EQ(hop["ip"].toString().toStdString(), expected) << k + 1;
            EXPECT_EQ(hop["name"].toString(), k < 3 ? QStringLiteral("router%1.six").arg(k + 1)
                                                    : QStringLiteral("target.six"));
            EXPECT_EQ(hop["lost"].toInt(), 0) << text(run);
            // Stamped by the kernel, as IPv4 probes are.
            EXPECT_TRUE(hop["clock"].toString().startsWith(QLatin1String("kernel"))) << text(run);
        }
    }
}

TEST(ReportIPv6EndToEnd, DualStackNamesFollowTheFamilyOptionAndRouterErrorsAreNamed) {
    HOPLARK_REQUIRE_NETNS();
    ReportProgram program;
    test::NetnsChainOptions options;
    options.routers = 2;
    options.ipv6 = true;
    options.pingGroupOpen = true;
    options.hostNames = {{"10.99.2.2", "dual.chain"}, {"fd00:99:2::2", "dual.chain"}};
    NetnsChain chain(options);
    QTemporaryDir recordings;
    QFile::setPermissions(recordings.path(), QFileDevice::ReadOther | QFileDevice::WriteOther |
                                                 QFileDevice::ExeOther | QFileDevice::ReadOwner |
                                                 QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    for (const auto& [flag, address] : {std::pair{QStringLiteral("-4"), chain.targetAddress()},
                                        std::pair{QStringLiteral("-6"), chain.targetAddress6()}}) {
        SCOPED_TRACE(flag.toStdString());
        const QString recording = recordings.filePath(flag + QStringLiteral(".hoplark"));
        QStringList arguments = quick(QStringLiteral("dual.chain"));
        arguments << flag << QStringLiteral("--no-dns") << QStringLiteral("--record") << recording;
        const ProgramRun run = program.report(chain, arguments, true);
        ASSERT_EQ(run.exitCode, 0) << text(run);
        const QJsonObject root = ReportProgram::json(run);
        EXPECT_EQ(root["address"].toString().toStdString(), address);
        EXPECT_EQ(root["destination_hop"].toInt(), 3) << text(run);

        // The recording reopens with the same path, its target recognised by address.
        const ProgramRun replay =
            program.report(chain, {QStringLiteral("--from"), recording, QStringLiteral("--format"),
                                   QStringLiteral("json")});
        ASSERT_EQ(replay.exitCode, 0) << text(replay);
        const QJsonObject replayed = ReportProgram::json(replay);
        EXPECT_EQ(replayed["address"].toString().toStdString(), address);
        EXPECT_EQ(replayed["destination_hop"].toInt(), 3) << text(replay);
        EXPECT_EQ(replayed["hops"].toArray().size(), 3) << text(replay);
    }

    // The last router has no route onwards and says so.
    const ProgramRun unrouted = program.report(
        chain, quick(QString::fromStdString(NetnsChain::unroutedAddress6())) << "--no-dns", true);
    ASSERT_EQ(unrouted.exitCode, 0) << text(unrouted);
    const QJsonObject unroutedRoot = ReportProgram::json(unrouted);
    EXPECT_EQ(unroutedRoot["unreachable_from"].toString().toStdString(), chain.routerAddress6(2))
        << text(unrouted);
    EXPECT_EQ(unroutedRoot["unreachable_reason"].toString(), "network unreachable")
        << text(unrouted);
}

TEST(ReportIPv6EndToEnd, RefusedTargetsSayWhy) {
    HOPLARK_REQUIRE_NETNS();
    ReportProgram program;
    // An IPv4-only chain: the machine has no IPv6 route beyond its loopback.
    test::NetnsChainOptions options;
    options.routers = 1;
    options.pingGroupOpen = true;
    NetnsChain chain(options);
    const struct {
        QStringList arguments;
        const char* says;
    } cases[] = {
        {{QStringLiteral("1::2::3")}, "could not be found! It is not a valid IPv6 address"},
        {{QStringLiteral("[::1")}, "could not be found! Its brackets do not pair."},
        {{QStringLiteral("fe80::1%nowhere")}, "names no network interface"},
        {{QStringLiteral("::1"), QStringLiteral("-4")},
         "could not be found! It is an IPv6 address, and only IPv4 is allowed."},
        {{QStringLiteral("fd00:55::1")}, "cannot be traced: this machine has no IPv6 route"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const ProgramRun run = program.report(chain, c.arguments, true);
        EXPECT_EQ(run.exitCode, 1) << text(run);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.says))) << text(run);
        EXPECT_TRUE(run.out.isEmpty()) << text(run);
    }
    // IPv6 loopback needs no route of the chain's.
    const ProgramRun loopback =
        program.report(chain, quick(QStringLiteral("::1")) << QStringLiteral("-6"), true);
    ASSERT_EQ(loopback.exitCode, 0) << text(loopback);
    EXPECT_EQ(ReportProgram::json(loopback)["destination_hop"].toInt(), 1) << text(loopback);
}

}  // namespace
}  // namespace hoplark
