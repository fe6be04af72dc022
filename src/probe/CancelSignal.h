#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace hoplark {

// A one-shot "stop waiting" signal that cuts a sleep or an outstanding echo short. Safe from any
// thread. It needs no file descriptor: a wait on it is a condition variable, and a blocking wait
// elsewhere (the echo facility's) joins in through a Hook.
class CancelSignal {
public:
    CancelSignal() = default;
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void cancel();
    bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // Sleeps up to `ms` milliseconds; returns false when cancelled first.
    bool sleepFor(int ms);

    // While a Hook lives, cancel() calls its wake-up (at most once, under the signal's own lock,
    // so the wake-up must not wait for anything that waits for the signal). A hook made after
    // the cancel calls its wake-up at once. One hook at a time.
    class Hook {
    public:
        Hook(CancelSignal* signal, std::function<void()> wake);
        ~Hook();
        Hook(const Hook&) = delete;
        Hook& operator=(const Hook&) = delete;

    private:
        CancelSignal* signal_;
    };

private:
    std::atomic<bool> cancelled_{false};
    std::mutex lock_;
    std::condition_variable changed_;
    std::function<void()> wake_;
};

}  // namespace hoplark
