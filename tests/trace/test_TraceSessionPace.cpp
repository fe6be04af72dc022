// Rounds on the real clock and the real round timer: the pace the user chose is the pace the
// rounds keep.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
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

    // A loaded machine wakes every timer of the loop late alike. So beside each round a
    // reference timer to the millisecond is armed for the same delay: the next round must come
    // with it, while a timer that allows itself a few percent of slack is off by tens of ms.
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer reference;
    reference.setSingleShot(true);
    reference.setTimerType(Qt::PreciseTimer);
    qint64 referenceFiredUs = -1;
    qint64 referenceDueUs = 0;
    QObject::connect(&reference, &QTimer::timeout,
                     [&] { referenceFiredUs = elapsed.nsecsElapsed() / 1000; });
    std::vector<double> offsetsMs;  // round start less the reference's firing
    launcher.onLaunch = [&](const HopProbeRequest& request) {
        if (request.hop != 1) return;
        const qint64 nowUs = elapsed.nsecsElapsed() / 1000;
        if (request.round > 1) {
            // Both expire in the same wake-up; give the reference its turn first.
            if (referenceFiredUs < 0) QCoreApplication::processEvents();
            // Not fired yet: the round came early, by this much.
            const qint64 againstUs = referenceFiredUs >= 0 ? referenceFiredUs : referenceDueUs;
            offsetsMs.push_back((nowUs - againstUs) / 1000.0);
        }
        referenceFiredUs = -1;
        referenceDueUs = nowUs + DelayMs * 1000;
        reference.start(DelayMs);
    };
    session.StartTrace(QStringLiteral("127.0.0.1"));
    while (session.state().SamplesTaken < 5 && elapsed.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::sendPostedEvents();
        launcher.finishAll();
    }
    session.StopTrace();

    ASSERT_GE(offsetsMs.size(), 4u);
    // Most rounds with the reference: the machine can still pause this thread between the two
    // timeouts of one wake-up now and then, but not for most rounds. Every round within half the
    // delay: none skipped, none doubled.
    std::vector<double> distancesMs;
    for (double offset : offsetsMs) {
        EXPECT_LT(std::abs(offset), DelayMs / 2) << ::testing::PrintToString(offsetsMs);
        distancesMs.push_back(std::abs(offset));
    }
    std::sort(distancesMs.begin(), distancesMs.end());
    EXPECT_LE(distancesMs[distancesMs.size() / 2], 10.0) << ::testing::PrintToString(offsetsMs);
}

}  // namespace
}  // namespace hoplark::testing
