// The recorder's writer thread: rounds handed over while it writes all reach the file, in
// order, and closing waits for the last of them.
#include "record/RecordingFixture.h"

namespace hoplark::testing {
namespace {

class TraceRecorderThreads : public RecordingTest {};

TEST_F(TraceRecorderThreads, RoundsHandedOverWhileWritingAllReachTheFileInOrder) {
    start();
    const int rounds = 60;
    for (int r = 0; r < rounds; ++r) {
        const size_t from = launcher.launched.size();
        if (r > 0) session.tmrTraceTimer();
        answerRound(r == 0 ? 0 : from, 6, r % 4 == 0 ? 3 : 0);
    }
    session.StopTrace();
    ASSERT_TRUE(failures.empty());
    expectSameTables(session.state(), reopened());
    EXPECT_EQ(RecordingReader::load(recordingPath).probeCount,
              35 + static_cast<qint64>(rounds - 1) * 6);
}

TEST_F(TraceRecorderThreads, ReadingWhileTheTraceIsStillWrittenSeesTheFinishedRounds) {
    start();
    for (int r = 0; r < 5; ++r) {
        const size_t from = launcher.launched.size();
        if (r > 0) session.tmrTraceTimer();
        answerRound(r == 0 ? 0 : from, 4);
    }
    recorder->drain();
    const LoadedRecording loaded = RecordingReader::load(recordingPath);
    EXPECT_EQ(loaded.state.SamplesTaken, 5);
    EXPECT_EQ(loaded.state.HopList.count(), 4);
    EXPECT_EQ(loaded.state.HopList.at(0).Samples.size(), 5u);
}

}  // namespace
}  // namespace hoplark::testing
