#include "probe/CancelSignal.h"

#include <chrono>

namespace hoplark {

void CancelSignal::cancel() {
    std::lock_guard lock(lock_);
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    if (wake_) wake_();
    changed_.notify_all();
}

bool CancelSignal::sleepFor(int ms) {
    std::unique_lock lock(lock_);
    return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return cancelled(); });
}

CancelSignal::Hook::Hook(CancelSignal* signal, std::function<void()> wake) : signal_(signal) {
    if (signal_ == nullptr) return;
    std::lock_guard lock(signal_->lock_);
    if (signal_->cancelled()) {
        wake();
        signal_ = nullptr;
        return;
    }
    signal_->wake_ = std::move(wake);
}

CancelSignal::Hook::~Hook() {
    if (signal_ == nullptr) return;
    std::lock_guard lock(signal_->lock_);
    signal_->wake_ = nullptr;
}

}  // namespace hoplark
