// Rounds on the real clock and the real round timer: the pace the user chose is the pace the
// rounds keep.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <vector>

#include "trace/SessionFixture.h"

namespace hoplark::testing {
namespace {

TEST(SessionPace, RoundsKeepTheirDelayWithinTenMilliseconds) {
    FakeLauncher launcher;
    FakeNameService names;
    SteadyClock clock;
    TraceSession session(launcher, names, clock);
    constexpr qint32 DelayMs = 1000;
    session.setDelayProvider([] { return DelayMs; });

    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<qint64> roundStartsUs;
    launcher.onLaunch = [&](const HopProbeRequest& request) {
        if (request.hop == 1) roundStartsUs.push_back(elapsed.nsecsElapsed() / 1000);
    };
    session.StartTrace(QStringLiteral("127.0.0.1"));
    while (session.state().SamplesTaken < 4 && elapsed.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::sendPostedEvents();
        launcher.finishAll();
    }
    session.StopTrace();

    ASSERT_GE(roundStartsUs.size(), 4u);
    for (size_t i = 1; i < roundStartsUs.size(); ++i) {
        const double spacingMs = (roundStartsUs[i] - roundStartsUs[i - 1]) / 1000.0;
        EXPECT_NEAR(spacingMs, DelayMs, 10.0) << "between rounds " << i << " and " << i + 1;
    }
}

}  // namespace
}  // namespace hoplark::testing
