#pragma once

#include <atomic>

namespace hoplark {

// A one-shot "stop waiting" signal that a blocking wait can include in its poll set, so that a
// terminate request cuts a sleep or an outstanding echo short. Safe from any thread.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
    // Becomes readable once cancelled; -1 if no descriptor could be made (then waits are only
    // cut short at their next check).
    int fd() const { return fd_; }

    // Sleeps up to `ms` milliseconds; returns false when cancelled first.
    bool sleepFor(int ms) const;

private:
    int fd_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace hoplark
