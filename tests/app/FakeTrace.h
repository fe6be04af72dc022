#pragma once

// A recorded trace made through the window's fakes, for the tests that reopen or draw it.
#include <QCoreApplication>
#include <QTest>
#include <functional>

#include "app/MainWindow.h"
#include "app/RecordingMenu.h"
#include "app/WindowFakes.h"
#include "record/TraceRecorder.h"

namespace hoplark::testing {

// Traces 127.0.0.3 for `rounds` rounds: hops 1 and 2 answer from 127.0.1.k, hop 3 is the
// target, and hop 2 is lost every third round. `roundTripUs(hop, round)` gives each answer's
// round trip. Then stops the trace and waits for the recorder to write what it holds.
inline void TraceThreeHopsThroughFakes(TformMain& form, FakeWindowServices& services, int rounds,
                                       const std::function<qint32(int, int)>& roundTripUs) {
    form.editDestination->setText(QStringLiteral("127.0.0.3"));
    form.btnTraceClick();
    // The target lookups run on their own thread; their answer goes on with the start, and the
    // address's name follows.
    EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.session().isStarting(); }, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.session().isNamingTarget(); }, 10000));
    auto& launcher = *services.launcher;
    for (int r = 1; r <= rounds; ++r) {
        if (r > 1) form.tmrTraceTimer();
        for (size_t i = 0; i < launcher.launched.size(); ++i) {
            if (launcher.launched[i].done) continue;
            const auto& request = launcher.launched[i].request;
            auto record = std::make_unique<THostInfo>(request.hop);
            const bool lost = request.hop == 2 && r % 3 == 0;
            record->IP = lost               ? QString()
                         : request.hop >= 3 ? QStringLiteral("127.0.0.3")
                                            : QStringLiteral("127.0.1.%1").arg(request.hop);
            const qint32 us = lost ? -1 : roundTripUs(request.hop, r);
            record->AvgTime = static_cast<qint16>(lost ? LOST_SAMPLE : us / 1000);
            record->Detail.round = request.round;
            record->Detail.roundTripUs = us;
            launcher.channel->post(new WorkerEvent(WM_HOPRESULT, request.trace, std::move(record)));
            launcher.finish(i);
        }
        QCoreApplication::sendPostedEvents();
    }
    form.btnTraceClick();  // stop
    form.recordingMenu().recorder().drain();
}

}  // namespace hoplark::testing
