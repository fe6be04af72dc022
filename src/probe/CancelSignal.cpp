#include "probe/CancelSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

namespace hoplark {

CancelSignal::CancelSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (fd_ >= 0) close(fd_);
}

void CancelSignal::cancel() {
    if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
    if (fd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
    }
}

bool CancelSignal::sleepFor(int ms) const {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ms);
    while (!cancelled()) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (left <= 0) return true;
        pollfd entry{fd_, POLLIN, 0};
        poll(&entry, fd_ >= 0 ? 1 : 0,
             static_cast<int>(fd_ >= 0 ? left : std::min<long>(left, 50)));
    }
    return false;
}

}  // namespace hoplark
