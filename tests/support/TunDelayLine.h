#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace hoplark::test {

// A TUN device inside a namespace whose user-space end writes every packet it reads back into
// the kernel exactly `delay` after the kernel sent it into the device (its own stamp of that
// moment, so the thread's late wake-ups do not add up; held to a few microseconds by a
// real-time thread that sleeps to the due time), after `transform` has had its say: it may rewrite
// the packet in place, or return false to drop it. Route traffic into interfaceName() to delay it;
// what comes back out is routed by the kernel as if it had arrived on the device. The device and
// its thread go away with the object.
class TunDelayLine {
public:
    using Transform = std::function<bool(std::vector<uint8_t>& packet)>;

    TunDelayLine(const std::string& ns, const std::string& interfaceName,
                 std::chrono::microseconds delay, Transform transform = {});
    ~TunDelayLine();
    TunDelayLine(const TunDelayLine&) = delete;
    TunDelayLine& operator=(const TunDelayLine&) = delete;

    const std::string& interfaceName() const { return name_; }
    // Packets that arrive from now on are held this long; those already held keep their time.
    void setDelay(std::chrono::nanoseconds delay);

private:
    void serve();

    std::string name_;
    std::atomic<int64_t> delayNs_;
    Transform transform_;
    int tunFd_ = -1;
    int tapFd_ = -1;  // kernel arrival stamps; -1 when none could be had
    int stopFd_ = -1;
    std::thread thread_;
};

}  // namespace hoplark::test
