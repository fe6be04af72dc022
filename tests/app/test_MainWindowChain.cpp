// End to end: the window traces a real router chain built from network namespaces. Its workers
// must probe from inside the chain's client namespace, so the outer test runs this same
// program there with one inner test selected; the inner test traces the target it is handed
// and prints the grid's hops for the outer test to check.
#include <gtest/gtest.h>

#include <QTest>
#include <cstring>
#include <map>
#include <sstream>

#include "app/MainWindow.h"
#include "app/WindowFakes.h"
#include "support/NetnsChain.h"
#include "support/TempSettings.h"
#include "trace/ThreadProbeLauncher.h"

namespace hoplark {
namespace {

const char* const TargetVariable = "HOPLARK_WINDOW_CHAIN_TARGET";
constexpr int Rounds = 2;

// Inner test: skipped unless an outer test started it inside the client namespace.
TEST(WindowInsideChain, TracesTheTarget) {
    const QString target = qEnvironmentVariable(TargetVariable);
    if (target.isEmpty()) GTEST_SKIP() << "started by the WindowOnRouterChain tests";

    // The client namespace lets every group use ICMP datagram sockets: no raw socket, so no
    // capabilities are dropped in this process.
    EchoService::BindOptions datagramOnly;
    datagramOnly.allowRaw = false;
    auto echo = std::make_shared<EchoService>(datagramOnly);
    ASSERT_TRUE(echo->bound()) << echo->startupError();
    auto names = std::make_shared<SystemNameService>();
    auto boxes = std::make_shared<testing::RecordingMessageBoxes>();
    WindowServices services{std::make_shared<ThreadProbeLauncher>(echo, names, 1500), names,
                            std::make_shared<SteadyClock>(), echo, boxes};
    testing::TempSettings settings;
    TformMain form(settings.path(), services);
    form.editTraceCount->setText(QString::number(Rounds));
    form.editDelay->setText(QStringLiteral("1 Second"));
    form.editDestination->setText(target);
    form.btnTrace->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !form.session().isStarting() && !form.session().isTracing() &&
                   form.session().pendingQueries() == 0;
        },
        30000));
    // Late names of the last round are posted before the workers' completions.
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes->errors.isEmpty()) << boxes->errors.join(' ').toStdString();
    EXPECT_TRUE(boxes->workerErrors.isEmpty()) << boxes->workerErrors.join(' ').toStdString();

    const TraceState& state = form.traceState();
    std::printf("TARGET %s %s rows=%d destination=%d\n", qPrintable(form.lblTargetAddress->text()),
                qPrintable(form.lblHostName->text()), form.drgrTrace->rowCount(),
                state.DestinationHop);
    std::printf("COLUMN ip=%d\n", form.drgrTrace->colWidth(2));
    for (int row = 1; row < form.drgrTrace->rowCount(); ++row) {
        const THostInfo& hop = state.HopList.at(row - 1);
        std::printf("HOP %d ip=%s name=%s lost=%d samples=%zu\n", hop.Hop, qPrintable(hop.IP),
                    qPrintable(hop.DNSName.trimmed()), hop.LostCount, hop.Samples.size());
    }
}

struct HopLine {
    std::string ip, name;
    int lost = -1;
    size_t samples = 0;
};

struct InnerRun {
    std::string summary;  // the TARGET line, without its tag
    int ipColumnWidth = 0;
    std::map<int, HopLine> hops;
    std::string output;
};

// Runs the inner test inside the client namespace and reads what it printed.
InnerRun traceInside(const test::NetnsChain& chain, const std::string& target) {
    const test::CommandResult result = test::RunCommand(
        {"ip", "netns", "exec", chain.clientNamespace(), "env",
         std::string(TargetVariable) + "=" + target, HOPLARK_BINARY_DIR "/tests/test_app",
         "--gtest_filter=WindowInsideChain.TracesTheTarget"});
    InnerRun run;
    run.output = result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("TARGET ", 0) == 0) run.summary = line.substr(7);
        if (line.rfind("COLUMN ip=", 0) == 0) run.ipColumnWidth = std::stoi(line.substr(10));
        if (line.rfind("HOP ", 0) != 0) continue;
        // Empty fields print as nothing after '='.
        const auto field = [&line](const char* key) {
            const size_t at = line.find(key) + std::strlen(key);
            return line.substr(at, line.find(' ', at) - at);
        };
        HopLine parsed;
        const int hop = std::stoi(line.substr(4));
        parsed.ip = field("ip=");
        parsed.name = field("name=");
        parsed.lost = std::stoi(field("lost="));
        parsed.samples = std::stoul(field("samples="));
        run.hops[hop] = parsed;
    }
    return run;
}

std::string routerName(int router) {
    return "router-" + std::to_string(router) + ".hoplark.test";
}

test::NetnsChainOptions namedChain(std::set<int> silent) {
    test::NetnsChainOptions options;
    options.routers = 3;
    options.silentRouters = std::move(silent);
    options.pingGroupOpen = true;
    // Addresses of a chain of three routers (see NetnsChain.h).
    for (int router = 1; router <= 3; ++router)
        options.hostNames["10.99." + std::to_string(router - 1) + ".2"] = routerName(router);
    options.hostNames["10.99.3.2"] = "target.hoplark.test";
    return options;
}

TEST(WindowOnRouterChain, FindsTheDestinationWithTheRoutersNames) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain(namedChain({}));
    ASSERT_EQ(chain.targetAddress(), "10.99.3.2");
    const InnerRun run = traceInside(chain, chain.targetAddress());

    EXPECT_EQ(run.summary, "10.99.3.2 target.hoplark.test rows=5 destination=4") << run.output;
    ASSERT_EQ(run.hops.size(), 4u) << run.output;
    for (int router = 1; router <= 3; ++router) {
        const HopLine& hop = run.hops.at(router);
        EXPECT_EQ(hop.ip, chain.routerAddress(router)) << run.output;
        EXPECT_EQ(hop.name, routerName(router)) << run.output;
        EXPECT_EQ(hop.lost, 0) << run.output;
        EXPECT_EQ(hop.samples, size_t(Rounds)) << run.output;
    }
    EXPECT_EQ(run.hops.at(4).ip, "10.99.3.2");
    EXPECT_EQ(run.hops.at(4).name, "target.hoplark.test");
    EXPECT_EQ(run.hops.at(4).lost, 0);
    EXPECT_EQ(run.ipColumnWidth, 90);
}

TEST(WindowOnRouterChain, TracesAnIPv6PathWithItsNames) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options = namedChain({});
    options.ipv6 = true;
    options.hostNames = {{"fd00:99::2", routerName(1)},
                         {"fd00:99:1::2", routerName(2)},
                         {"fd00:99:2::2", routerName(3)},
                         {"fd00:99:3::2", "target.hoplark.test"}};
    test::NetnsChain chain(options);
    const InnerRun run = traceInside(chain, chain.targetAddress6());

    EXPECT_EQ(run.summary, "fd00:99:3::2 target.hoplark.test rows=5 destination=4") << run.output;
    ASSERT_EQ(run.hops.size(), 4u) << run.output;
    for (int router = 1; router <= 3; ++router) {
        const HopLine& hop = run.hops.at(router);
        EXPECT_EQ(hop.ip, chain.routerAddress6(router)) << run.output;
        EXPECT_EQ(hop.name, routerName(router)) << run.output;
        EXPECT_EQ(hop.lost, 0) << run.output;
    }
    EXPECT_EQ(run.hops.at(4).name, "target.hoplark.test");
    // The column makes room for IPv6 addresses.
    EXPECT_GT(run.ipColumnWidth, 90) << run.output;
}

TEST(WindowOnRouterChain, ShowsASilentHopWithItsLosses) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChain chain(namedChain({2}));
    const InnerRun run = traceInside(chain, chain.targetAddress());

    EXPECT_EQ(run.summary, "10.99.3.2 target.hoplark.test rows=5 destination=4") << run.output;
    ASSERT_EQ(run.hops.size(), 4u) << run.output;
    EXPECT_EQ(run.hops.at(1).name, routerName(1));
    EXPECT_EQ(run.hops.at(2).ip, "") << run.output;
    EXPECT_EQ(run.hops.at(2).lost, Rounds) << run.output;
    EXPECT_EQ(run.hops.at(2).samples, size_t(Rounds));
    EXPECT_EQ(run.hops.at(3).name, routerName(3));
    EXPECT_EQ(run.hops.at(3).lost, 0);
    EXPECT_EQ(run.hops.at(4).name, "target.hoplark.test");
}

}  // namespace
}  // namespace hoplark
