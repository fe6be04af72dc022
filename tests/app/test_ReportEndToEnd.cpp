// The report mode as a user runs it: the real program, in a client namespace of a real router
// chain, compared with what traceroute finds on the same chain.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/ReportProgram.h"
#include "support/NetnsChain.h"
#include "support/QtPrinters.h"

namespace hoplark {
namespace {

using test::ProgramRun;
using test::runProgram;

class ReportEndToEnd : public testing::Test {
protected:
    ProgramRun report(const test::NetnsChain& chain, const QStringList& arguments,
                      bool asNobody = false) {
        return program.report(chain, arguments, asNobody);
    }
    static QJsonObject json(const ProgramRun& run) { return test::ReportProgram::json(run); }

    test::ReportProgram program;
};

std::map<std::string, std::string> chainNames(int routers) {
    std::map<std::string, std::string> names;
    for (int k = 1; k <= routers; ++k) {
        names["10.99." + std::to_string(k - 1) + ".2"] = "router" + std::to_string(k) + ".chain";
    }
    names["10.99." + std::to_string(routers) + ".2"] = "target.chain";
    return names;
}

TEST_F(ReportEndToEnd, ListsEveryRouterAsRootAndAsNobodyLikeTraceroute) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain(
        {.routers = 3, .silentRouters = {}, .pingGroupOpen = true, .hostNames = chainNames(3)});
    const QString target = QString::fromStdString(chain.targetAddress());

    // traceroute's view of the same chain, as the reference for the hop addresses.
    const ProgramRun traceroute =
        runProgram(QStringLiteral("ip"),
                   {QStringLiteral("netns"), QStringLiteral("exec"),
                    QString::fromStdString(chain.clientNamespace()), QStringLiteral("traceroute"),
                    QStringLiteral("-I"), QStringLiteral("-n"), QStringLiteral("-q"),
                    QStringLiteral("1"), QStringLiteral("-w"), QStringLiteral("2"), target});
    ASSERT_EQ(traceroute.exitCode, 0) << traceroute.err;
    QStringList reference;
    const QRegularExpression hopLine(QStringLiteral(R"(^\s*(\d+)\s+(\d+\.\d+\.\d+\.\d+)\s)"));
    for (const QString& line : traceroute.out.split(u'\n')) {
        const auto match = hopLine.match(line);
        if (match.hasMatch()) reference << match.captured(2);
    }
    ASSERT_EQ(reference.size(), 4) << traceroute.out;

    for (bool asNobody : {false, true}) {
        SCOPED_TRACE(asNobody ? "as nobody" : "as root");
        const ProgramRun run = report(
            chain,
            {target, QStringLiteral("--count"), QStringLiteral("2"), QStringLiteral("--delay"),
             QStringLiteral("0.2"), QStringLiteral("--format"), QStringLiteral("json")},
            asNobody);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject root = json(run);
        EXPECT_EQ(root["address"].toString(), target);
        EXPECT_EQ(root["host_name"].toString(), "target.chain");
        EXPECT_EQ(root["rounds"].toInt(), 2);
        EXPECT_EQ(root["destination_hop"].toInt(), 4);
        const QJsonArray hops = root["hops"].toArray();
        ASSERT_EQ(hops.size(), 4);
        for (int k = 0; k < 4; ++k) {
            const QJsonObject hop = hops[k].toObject();
            EXPECT_EQ(hop["hop"].toInt(), k + 1);
            EXPECT_EQ(hop["ip"].toString(), reference[k]);
            EXPECT_EQ(hop["name"].toString(), k < 3 ? QStringLiteral("router%1.chain").arg(k + 1)
                                                    : QStringLiteral("target.chain"));
            EXPECT_EQ(hop["lost"].toInt(), 0);
            EXPECT_EQ(hop["samples"].toArray().size(), 2);
            EXPECT_FALSE(hop["unreachable"].toBool());
        }
    }
}

TEST_F(ReportEndToEnd, SilentHopsAndUnreachableEndsAreShown) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain({.routers = 3,
                            .silentRouters = {2},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .hostNames = chainNames(3)});

    // Router 2 forwards but never answers: every one of its samples is lost.
    const ProgramRun silent =
        report(chain, {QString::fromStdString(chain.targetAddress()), QStringLiteral("--count"),
                       QStringLiteral("3"), QStringLiteral("--delay"), QStringLiteral("0.2"),
                       QStringLiteral("--timeout"), QStringLiteral("600"),
                       QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    const QJsonArray hops = json(silent)["hops"].toArray();
    ASSERT_EQ(hops.size(), 4);
    const QJsonObject hop2 = hops[1].toObject();
    EXPECT_EQ(hop2["lost"].toInt(), 3);
    EXPECT_EQ(hop2["ip"].toString(), "");
    EXPECT_TRUE(hop2["avg"].isNull());
    EXPECT_EQ(hops[2].toObject()["ip"].toString(), QString::fromStdString(chain.routerAddress(3)));

    // An address routed only as far as the last router, which refuses it at once (before it
    // would look at the TTL): hop 1 answers, silent hop 2 never does, and from hop 3 on only
    // unreachable errors come back. The path ends with the marker right after hop 1.
    const ProgramRun unreachable =
        report(chain, {QString::fromStdString(chain.unroutedAddress()), QStringLiteral("--count"),
                       QStringLiteral("1"), QStringLiteral("--timeout"), QStringLiteral("600"),
                       QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(unreachable.exitCode, 0) << unreachable.err;
    const QJsonObject root = json(unreachable);
    EXPECT_TRUE(root["destination_hop"].isNull());
    // The router that refused the address is named, though no hop row shows it.
    EXPECT_EQ(root["unreachable_from"].toString(),
              QString::fromStdString(chain.routerAddress(chain.routers())))
        << unreachable.out;
    const QJsonArray path = root["hops"].toArray();
    ASSERT_EQ(path.size(), 2);
    EXPECT_EQ(path[0].toObject()["ip"].toString(), QString::fromStdString(chain.routerAddress(1)));
    const QJsonObject marker = path[1].toObject();
    EXPECT_TRUE(marker["unreachable"].toBool());
    EXPECT_EQ(marker["name"].toString(), "Destination Address Unreachable");
}

// The last router refuses some addresses with a route of each kind: the report names the ICMP
// code in words, and a blackhole, which answers nothing, names none.
TEST_F(ReportEndToEnd, UnreachableReasonsNameTheRoutersIcmpCode) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain({.routers = 2,
                            .silentRouters = {},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .hostNames = chainNames(2)});
    const std::string& last = chain.routerNamespace(chain.routers());
    const std::pair<const char*, const char*> routes[] = {{"unreachable", "10.98.0.16/28"},
                                                          {"prohibit", "10.98.0.32/28"},
                                                          {"blackhole", "10.98.0.48/28"}};
    for (const auto& [type, prefix] : routes) {
        const test::CommandResult added =
            test::RunCommand({"ip", "netns", "exec", last, "ip", "route", "add", type, prefix});
        ASSERT_EQ(added.exitCode, 0) << added.output;
    }
    const QString router = QString::fromStdString(chain.routerAddress(chain.routers()));
    struct Case {
        const char* address;
        QJsonValue code;
        QJsonValue reason;
    };
    const Case cases[] = {
        {"10.98.0.1", 0, "network unreachable"},  // no route at all
        {"10.98.0.17", 1, "host unreachable"},
        {"10.98.0.33", 13, "administratively prohibited"},
        {"10.98.0.49", QJsonValue(), QJsonValue()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const ProgramRun run =
            report(chain, {QLatin1String(c.address), QStringLiteral("--count"), QStringLiteral("1"),
                           QStringLiteral("--timeout"), QStringLiteral("600"),
                           QStringLiteral("--format"), QStringLiteral("json")});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const QJsonObject root = json(run);
        EXPECT_EQ(root["unreachable_code"], c.code) << run.out;
        EXPECT_EQ(root["unreachable_reason"], c.reason);
        EXPECT_EQ(root["unreachable_from"], c.code.isNull() ? QJsonValue() : QJsonValue(router));
    }
    const ProgramRun text =
        report(chain, {QStringLiteral("10.98.0.17"), QStringLiteral("--count"), QStringLiteral("1"),
                       QStringLiteral("--timeout"), QStringLiteral("600")});
    EXPECT_TRUE(text.out.contains(
        QStringLiteral("Destination unreachable: host unreachable from ") + router))
        << text.out;
}

TEST_F(ReportEndToEnd, NamesThatNeverComeHoldTheTableBackOnlyByTheBound) {
    HOPLARK_REQUIRE_NETNS();
    // Only the first router has a name (from the hosts file); every other lookup goes to a name
    // server that never answers, whose own time-out (5 s, twice) is far beyond the bound.
    test::NetnsChain chain({.routers = 3,
                            .silentRouters = {},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .hostNames = {{"10.99.0.2", "router1.chain"}},
                            .silentResolver = true});
    const QString target = QString::fromStdString(chain.targetAddress());
    const ProgramRun run = report(
        chain, {target, QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--format"),
                QStringLiteral("json"), QStringLiteral("--name-wait"), QStringLiteral("500")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject root = json(run);
    EXPECT_EQ(root["address"].toString(), target);
    EXPECT_EQ(root["host_name"].toString(), "");
    const QJsonArray hops = root["hops"].toArray();
    ASSERT_EQ(hops.size(), 4);
    for (int k = 0; k < 4; ++k) {
        const QJsonObject hop = hops[k].toObject();
        EXPECT_EQ(hop["ip"].toString(), QStringLiteral("10.99.%1.2").arg(k));
        EXPECT_EQ(hop["name"].toString(), k == 0 ? QStringLiteral("router1.chain") : QString());
        EXPECT_EQ(hop["lost"].toInt(), 0);
    }
    // Cut off by the bound, not given up by the resolver: the report says so.
    EXPECT_TRUE(run.err.contains(QStringLiteral(
        "hoplark: 3 names did not arrive within 0.5 s; their hops show the address")))
        << run.err;
}

TEST_F(ReportEndToEnd, NoDnsLooksNothingUpAndTextAndCsvPrint) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain({.routers = 2,
                            .silentRouters = {},
                            .pingGroupOpen = false,
                            .delayedHostMs = 0,
                            .hostNames = chainNames(2)});
    const QString target = QString::fromStdString(chain.targetAddress());

    const ProgramRun plain = report(
        chain, {target, QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--no-dns"),
                QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    const QJsonObject root = json(plain);
    EXPECT_EQ(root["host_name"].toString(), "");
    for (const QJsonValue& hop : root["hops"].toArray()) {
        EXPECT_EQ(hop.toObject()["name"].toString(), "");
    }

    const ProgramRun text = report(chain, {target, QStringLiteral("--count"), QStringLiteral("1")});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_TRUE(text.out.contains(QStringLiteral("router1.chain"))) << text.out;
    EXPECT_TRUE(text.out.startsWith(QStringLiteral("Target: ") + target)) << text.out;

    const ProgramRun csv = report(chain, {target, QStringLiteral("--count"), QStringLiteral("1"),
                                          QStringLiteral("--format"), QStringLiteral("csv")});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    // One plain table: the header and three hops, each row saying what, where and when in
    // columns of its own.
    const QStringList table = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(table.size(), 4) << csv.out;
    const QStringList header = table[0].split(u',');
    const qsizetype targetColumn = header.indexOf(QStringLiteral("target"));
    const qsizetype roundsColumn = header.indexOf(QStringLiteral("rounds"));
    ASSERT_GT(targetColumn, 0) << csv.out;
    ASSERT_GT(roundsColumn, 0) << csv.out;
    for (int row = 1; row < 4; ++row) {
        const QStringList fields = table[row].split(u',');
        ASSERT_EQ(fields.size(), header.size()) << table[row].toStdString();
        EXPECT_EQ(fields[targetColumn], target);
        EXPECT_EQ(fields[roundsColumn], QStringLiteral("1"));
    }
    EXPECT_TRUE(csv.out.startsWith(QStringLiteral("hop,"))) << csv.out;
}

// The delay lines run in this test process and, three in a row, wake up to half a millisecond late
// on a shared virtual machine (later still under a sanitizer). The lower bounds are what tells a
// fraction from whole milliseconds; the upper ones only catch a gross error.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double DelayLineSlack = 4.0;
#else
constexpr double DelayLineSlack = 2.0;
#endif

TEST_F(ReportEndToEnd, FractionalDelaysShowInTheMicrosecondStatistics) {
    HOPLARK_REQUIRE_NETNS();
    using std::chrono::microseconds;
    // Routers that hold everything coming back through them: hops 0, 0.3, 2.5 and 7.7 ms away,
    // where whole milliseconds would read 0, 0, 2 and 7.
    test::NetnsChainOptions options;
    options.routers = 3;
    options.pingGroupOpen = true;
    options.returnDelays = {
        {1, microseconds(300)}, {2, microseconds(2200)}, {3, microseconds(5200)}};
    test::NetnsChain chain(options);
    const double expectedMs[] = {0, 0.3, 2.5, 7.7};
    const QStringList arguments = {QString::fromStdString(chain.targetAddress()),
                                   QStringLiteral("--count"),
                                   QStringLiteral("10"),
                                   QStringLiteral("--delay"),
                                   QStringLiteral("0.2"),
                                   QStringLiteral("--no-dns")};

    const ProgramRun run = report(chain, arguments + QStringList{"--format", "json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonArray hops = json(run)["hops"].toArray();
    ASSERT_EQ(hops.size(), 4) << run.out;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k + 1);
        const QJsonObject hop = hops[k].toObject();
        // The very first echo can be lost while the fresh chain settles.
        ASSERT_GE(hop["received"].toInt(), 8) << run.out;
        // Above the delay come only the path's forwarding and the delay lines' wake-ups, tens
        // of microseconds each (the probe's own test allows 0.45 ms for them on a busy
        // machine). The fastest answer is what that bounds: a busy machine only ever adds delay,
        // and can add milliseconds to most answers of a run, and so to the median and the mean.
        // Those two are held to the samples they summarise instead.
        const double fastest = hop["min_ms"].toDouble();
        EXPECT_GE(fastest, expectedMs[k]) << run.out;
        EXPECT_LT(fastest, expectedMs[k] + 0.45 * DelayLineSlack) << run.out;
        const double slowest = hop["max_ms"].toDouble();
        const double median = hop["p50_ms"].toDouble();
        EXPECT_GE(median, fastest) << run.out;
        EXPECT_LE(median, slowest) << run.out;
        double sumUs = 0;
        int answered = 0;
        for (const QJsonValue& sample : hop["samples_us"].toArray()) {
            if (sample.isNull()) continue;
            sumUs += sample.toDouble();
            ++answered;
        }
        ASSERT_GT(answered, 0) << run.out;
        EXPECT_NEAR(hop["avg_ms"].toDouble(), sumUs / answered / 1000, 0.0011) << run.out;
        EXPECT_TRUE(hop["clock"].toString().startsWith(QStringLiteral("kernel"))) << run.out;
        EXPECT_EQ(hop["samples_us"].toArray().size(), hop["samples"].toArray().size());
    }

    const ProgramRun wide = report(chain, arguments + QStringList{"--wide"});
    ASSERT_EQ(wide.exitCode, 0) << wide.err;
    // The columns widen to their widest figure, which an answer a busy machine held up for tens
    // of milliseconds can make wider than usual.
    EXPECT_TRUE(wide.out.contains(QRegularExpression(QStringLiteral("StDev +Jttr")))) << wide.out;
    // The 7.7 ms hop in hundredths: its best answer at least, however far a busy machine pushes
    // its mean.
    EXPECT_TRUE(wide.out.contains(
        QRegularExpression(QStringLiteral(R"(  (7\.[7-9]|[89]\.\d|10\.\d)\d  )"))))
        << wide.out;
}

TEST_F(ReportEndToEnd, ExitStatusTellsArgumentAndTargetFailures) {
    const QString program = QStringLiteral(HOPLARK_BINARY_DIR "/hoplark");
    const ProgramRun noTarget = runProgram(program, {QStringLiteral("--report")});
    EXPECT_EQ(noTarget.exitCode, 2);
    EXPECT_TRUE(noTarget.err.contains(QStringLiteral("Usage:"))) << noTarget.err;
    EXPECT_TRUE(noTarget.out.isEmpty());
    EXPECT_EQ(runProgram(program, {QStringLiteral("--report"), QStringLiteral("127.0.0.1"),
                                   QStringLiteral("--count"), QStringLiteral("0")})
                  .exitCode,
              2);

    // A name that cannot resolve (no resolver is reachable from here) gives the window's
    // message and status 1. Only root can be sure to bind the ICMP facility.
    if (geteuid() != 0) GTEST_SKIP() << "needs root for the ICMP facility";
    const ProgramRun unknown =
        runProgram(program, {QStringLiteral("--report"), QStringLiteral("no-such-host.invalid")});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(
        unknown.err.contains(QStringLiteral("Host: no-such-host.invalid could not be found!")))
        << unknown.err;

    // A target holding line breaks is refused before any lookup or probe.
    const ProgramRun pasted = runProgram(
        program,
        {QStringLiteral("--report"), QStringLiteral("127.0.0.1\n[Advanced]\nPacketSize=3")});
    EXPECT_EQ(pasted.exitCode, 1);
    EXPECT_TRUE(pasted.err.contains(QStringLiteral("could not be found!"))) << pasted.err;
    EXPECT_TRUE(pasted.err.contains(QStringLiteral("control character"))) << pasted.err;
    EXPECT_TRUE(pasted.out.isEmpty()) << pasted.out;
}

TEST_F(ReportEndToEnd, ExplainsAMinuteDelayBeforeWaitingForIt) {
    // Ten minutes between two rounds: the warning must come before the wait, not after it.
    QProcess process;
    process.setReadChannel(QProcess::StandardError);
    process.start(
        QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"),
        {QStringLiteral("--report"), QStringLiteral("127.0.0.1"), QStringLiteral("--count"),
         QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("10 ms")});
    const QString expected = QStringLiteral(
        "--delay \"10 ms\" reads as 10 Minutes (M is minutes; the shortest delay is 0.2 s)\n");
    QString err;
    while (!err.contains(expected) && process.waitForReadyRead(60000))
        err += QString::fromUtf8(process.readAllStandardError());
    process.kill();
    process.waitForFinished();
    EXPECT_TRUE(err.contains(expected)) << err;

    const ProgramRun refused = runProgram(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"),
                                          {QStringLiteral("--report"), QStringLiteral("127.0.0.1"),
                                           QStringLiteral("--delay"), QStringLiteral("500ms")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("\"0.5 Seconds\""))) << refused.err;
}

TEST_F(ReportEndToEnd, RunsOnLoopbackWithoutADisplay) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for the ICMP facility";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const ProgramRun run =
        runProgram(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"),
                   {QStringLiteral("--report"), QStringLiteral("127.0.0.1"),
                    QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--delay"),
                    QStringLiteral("0.1"), QStringLiteral("--format"), QStringLiteral("json")},
                   environment);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject root = json(run);
    EXPECT_EQ(root["rounds"].toInt(), 3);
    EXPECT_EQ(root["destination_hop"].toInt(), 1);
    EXPECT_EQ(root["hops"].toArray()[0].toObject()["samples"].toArray().size(), 3);
}

}  // namespace
}  // namespace hoplark
