#include "record/BackgroundWriter.h"

#include "record/RecordingError.h"

namespace hoplark {

BackgroundWriter::BackgroundWriter(std::unique_ptr<RecordingWriter> writer,
                                   FailureHandler onFailure)
    : writer_(std::move(writer)), onFailure_(std::move(onFailure)) {
    thread_ = std::thread([this] { run(); });
}

BackgroundWriter::~BackgroundWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void BackgroundWriter::submit(RecordingBatch batch) {
    if (batch.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (failed_) return;
        queue_.push_back(std::move(batch));
    }
    wake_.notify_one();
}

void BackgroundWriter::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

bool BackgroundWriter::failed() const {
    std::lock_guard lock(mutex_);
    return failed_;
}

void BackgroundWriter::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) break;  // stopping, with everything written
        RecordingBatch batch = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        QString failure;
        try {
            writer_->write(batch);
        } catch (const RecordingError& error) {
            failure = error.message();
        } catch (const std::exception& error) {
            failure = QString::fromLocal8Bit(error.what());
        }
        lock.lock();
        busy_ = false;
        if (!failure.isEmpty()) {
            failed_ = true;
            queue_.clear();
            lock.unlock();
            if (onFailure_) onFailure_(failure);
            lock.lock();
        }
        if (queue_.empty()) idle_.notify_all();
    }
    idle_.notify_all();
}

}  // namespace hoplark
