#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "record/RecordingBatch.h"
#include "record/RecordingWriter.h"

namespace hoplark {

// Runs a RecordingWriter on a thread of its own, so that the UI thread only hands over a batch
// and never waits for the disk. The first failure stops the writing for good: `onFailure` is
// called once, on the writer's thread, with the message, and later batches are dropped.
class BackgroundWriter {
public:
    using FailureHandler = std::function<void(const QString& message)>;

    BackgroundWriter(std::unique_ptr<RecordingWriter> writer, FailureHandler onFailure);
    // Writes what is queued, then ends the thread.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    void submit(RecordingBatch batch);
    // Waits until every submitted batch is written (or dropped after a failure).
    void drain();
    bool failed() const;

private:
    void run();

    std::unique_ptr<RecordingWriter> writer_;
    FailureHandler onFailure_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<RecordingBatch> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    bool failed_ = false;
    std::thread thread_;
};

}  // namespace hoplark
