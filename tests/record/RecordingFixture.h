#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "record/RecordingReader.h"
#include "record/TraceRecorder.h"
#include "trace/SessionFixture.h"

namespace hoplark::testing {

// Two hop tables hold the same records, field by field and sample by sample.
inline void expectSameTables(const TraceState& expected, const TraceState& actual) {
    EXPECT_EQ(actual.SamplesTaken, expected.SamplesTaken);
    EXPECT_EQ(actual.DestinationHop, expected.DestinationHop);
    EXPECT_EQ(actual.TargetAddress, expected.TargetAddress);
    EXPECT_EQ(actual.HostName, expected.HostName);
    EXPECT_EQ(actual.GraphScale, expected.GraphScale);
    EXPECT_EQ(actual.Window.FirstSample, expected.Window.FirstSample);
    EXPECT_EQ(actual.Window.LastSample, expected.Window.LastSample);
    EXPECT_EQ(actual.RoundStartsUtcUs, expected.RoundStartsUtcUs);
    ASSERT_EQ(actual.HopList.count(), expected.HopList.count());
    for (int i = 0; i < expected.HopList.count(); ++i) {
        SCOPED_TRACE(::testing::Message() << "hop " << i + 1);
        const THostInfo& e = expected.HopList.at(i);
        const THostInfo& a = actual.HopList.at(i);
        EXPECT_EQ(a.Hop, e.Hop);
        EXPECT_EQ(a.IP, e.IP);
        EXPECT_EQ(a.DNSName, e.DNSName);
        EXPECT_EQ(a.Unreachable, e.Unreachable);
        EXPECT_EQ(a.LostCount, e.LostCount);
        EXPECT_EQ(a.MaxTime, e.MaxTime);
        EXPECT_EQ(a.MinTime, e.MinTime);
        EXPECT_EQ(a.AvgTime, e.AvgTime);
        EXPECT_EQ(a.CurTime, e.CurTime);
        EXPECT_EQ(a.Samples, e.Samples);
        EXPECT_EQ(a.Responders, e.Responders);
    }
}

// A fake session whose traces are recorded into a temporary folder.
class RecordingTest : public SessionTest {
protected:
    RecordingTest() {
        recorder = std::make_unique<TraceRecorder>(
            [] {
                RecordingHeader header;
                header.programVersion = QStringLiteral("test");
                header.delayText = QStringLiteral("10 Seconds");
                header.delayMs = 10000;
                return header;
            },
            [this](const RecordingHeader&) { return recordingPath; });
        session.setObserver(recorder.get());
        QObject::connect(recorder.get(), &TraceRecorder::recordingFailed,
                         [this](const QString& message) { failures.push_back(message); });
    }
    ~RecordingTest() override { session.setObserver(nullptr); }

    // A result with its detail, as a real worker posts it.
    void postDetailed(int hop, const QString& ip, int sampleMs, int round) {
        auto record = std::make_unique<THostInfo>(hop);
        record->IP = ip;
        record->AvgTime = static_cast<qint16>(sampleMs);
        record->Detail.round = round;
        record->Detail.roundTripUs = sampleMs == LOST_SAMPLE ? -1 : sampleMs * 1000 + hop;
        record->Detail.sentUtcUs = 1'700'000'000'000'000 + round * 1'000'000 + hop * 25'000;
        record->Detail.clock = static_cast<SampleClock>(hop % 3);
        record->Detail.icmpType = sampleMs == LOST_SAMPLE ? 0 : 11;
        launcher.channel->post(new WorkerEvent(WM_HOPRESULT, trace(), std::move(record)));
    }

    // Answers every request launched since `from`: routers up to `destination` - 1 and the
    // target at `destination`, hop `lostHop` lost.
    void answerRound(size_t from, int destination, int lostHop = 0) {
        for (size_t i = from; i < launcher.launched.size(); ++i) {
            const int hop = launcher.launched[i].request.hop;
            const int round = launcher.launched[i].request.round;
            if (hop == lostHop)
                postDetailed(hop, QString(), LOST_SAMPLE, round);
            else if (hop >= destination)
                postDetailed(hop, TargetIp, 20 + round % 5, round);
            else
                postDetailed(hop, routerIp(hop), hop + round % 3, round);
        }
        deliver();
        for (size_t i = from; i < launcher.launched.size(); ++i)
            launcher.finish(i);
        deliver();
    }

    // Loads the recording into a second session with the same sample count.
    TraceState reopened(const QString& sampleCount = QStringLiteral("10")) {
        recorder->finish();
        LoadedRecording loaded = RecordingReader::load(recordingPath);
        replaySession.editSampleCountChange(sampleCount);
        replaySession.LoadReplay(std::move(loaded.state));
        return replaySession.state();
    }

    QTemporaryDir folder;
    QString recordingPath = folder.filePath(QStringLiteral("trace.hoplark"));
    std::unique_ptr<TraceRecorder> recorder;
    std::vector<QString> failures;
    FakeLauncher replayLauncher;
    TraceSession replaySession{replayLauncher, names, clock};
};

}  // namespace hoplark::testing
