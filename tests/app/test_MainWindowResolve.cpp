// The window while the resolver does not answer: the lookup of a typed name must leave the
// window live, and Stop must cancel the start; a typed address is probed without waiting for its
// name. The resolver is the process's own, so the outer test runs this program inside a
// namespace whose resolv.conf names a nameserver there that takes every query and never
// replies; the inner test drives the window.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/MainWindow.h"
#include "app/WindowFakes.h"
#include "support/NetnsChain.h"
#include "support/TempSettings.h"

namespace hoplark {
namespace {

const char* const InnerVariable = "HOPLARK_DEAD_RESOLVER";

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Inner test: skipped unless the outer test started it inside the namespace.
TEST(WindowWithDeadResolver, StaysLiveWhileResolvingAndStopCancelsTheStart) {
    if (qEnvironmentVariable(InnerVariable).isEmpty())
        GTEST_SKIP() << "started by WindowResolving.NeverFreezesOnADeadResolver";

    // The nameserver of this namespace's resolv.conf: it takes the queries and never answers.
    const int nameserver = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(nameserver, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);

    testing::FakeWindowServices fakes;
    WindowServices services = fakes.services();
    services.names = std::make_shared<SystemNameService>();
    testing::TempSettings settings;
    TformMain form(settings.path(), services);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    PaintCounter painted;
    form.StatusPanel0->installEventFilter(&painted);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    // A name's forward lookup hangs: the window stays live and Stop cancels the start.
    {
        form.editDestination->setText(QStringLiteral("dead.hoplark.test"));
        form.btnTrace->click();
        // The click came back with the lookup still out: had it waited for it, the nameserver's
        // silence would have ended the lookup first.
        EXPECT_TRUE(form.session().isStarting());
        EXPECT_EQ(form.StatusPanel0->text(), QStringLiteral("Resolving..."));
        EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Stop"));
        ticks = 0;
        painted.paints = 0;
        // Ten ticks and a repaint while the lookup is still out, however slowly a busy machine
        // runs them: well within the three seconds the lookup is allowed.
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 10 && painted.paints > 0; }, 2000))
            << "the event loop stood still: " << ticks << " ticks, " << painted.paints
            << " repaints of the status bar";
        EXPECT_TRUE(form.session().isStarting());

        form.btnTrace->click();  // Stop
        EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Trace"));
        EXPECT_EQ(form.StatusPanel0->text(), QString());
        EXPECT_TRUE(form.Animate->isHidden());
        EXPECT_FALSE(form.session().isStarting());
        EXPECT_EQ(form.btnTracePopupMenu(), nullptr);
    }
    // The cancelled lookup ends (resolv.conf allows it three seconds) and changes nothing.
    QTest::qWait(5000);
    EXPECT_TRUE(fakes.boxes->errors.isEmpty()) << fakes.boxes->errors.join(' ').toStdString();
    EXPECT_TRUE(fakes.launcher->launched.empty());
    EXPECT_EQ(form.lbHistory->count(), 0);
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("N/A"));

    // Left to run, the name fails with the usual message.
    form.editDestination->setText(QStringLiteral("dead.hoplark.test"));
    form.btnTrace->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fakes.boxes->errors.isEmpty(); }, 10000));
    EXPECT_EQ(fakes.boxes->errors,
              QStringList({QStringLiteral("Host: dead.hoplark.test could not be found!")}));
    EXPECT_EQ(form.btnTrace->text(), QStringLiteral("&Trace"));
    EXPECT_TRUE(fakes.launcher->launched.empty());

    // An address needs no lookup to be probed: its first round goes out while its reverse name
    // is still on the way, and the trace goes on unnamed when none comes.
    form.editDestination->setText(QStringLiteral("10.99.0.2"));
    form.btnTrace->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.session().isTracing(); }, 10000));
    EXPECT_EQ(fakes.launcher->launched.size(), 35u);
    EXPECT_TRUE(form.session().isNamingTarget());
    EXPECT_EQ(form.lblTargetAddress->text(), QStringLiteral("10.99.0.2"));
    EXPECT_EQ(form.lblHostName->text(), QString());
    EXPECT_EQ(form.lbHistory->count(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.session().isNamingTarget(); }, 10000));
    EXPECT_EQ(form.lblHostName->text(), QString());
    EXPECT_TRUE(form.session().isTracing());
    form.btnTrace->click();
    close(nameserver);
}

TEST(WindowResolving, NeverFreezesOnADeadResolver) {
    HOPLARK_REQUIRE_NETNS();
    test::NetnsChainOptions options;
    options.routers = 1;
    test::NetnsChain chain(options);
    {
        // One try of three seconds per query, at the silent nameserver the inner test opens:
        // long enough that a busy machine cannot end a lookup the test means to catch in flight.
        std::ofstream resolv("/etc/netns/" + chain.clientNamespace() + "/resolv.conf");
        resolv << "nameserver 127.0.0.1\noptions timeout:3 attempts:1\n";
    }
    const test::CommandResult result = test::RunCommand(
        {"ip", "netns", "exec", chain.clientNamespace(), "env", std::string(InnerVariable) + "=1",
         HOPLARK_BINARY_DIR "/tests/test_app",
         "--gtest_filter=WindowWithDeadResolver.StaysLiveWhileResolvingAndStopCancelsTheStart"});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("[  PASSED  ] 1 test"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace hoplark
