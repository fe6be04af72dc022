#include "support/ScopedNetns.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <stdexcept>

namespace hoplark::test {

ScopedNetns::ScopedNetns(const std::string& ns) {
    original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/var/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = original_ >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
    if (target >= 0) close(target);
    if (!entered) {
        if (original_ >= 0) close(original_);
        throw std::runtime_error("cannot enter network namespace " + ns);
    }
}

ScopedNetns::~ScopedNetns() {
    setns(original_, CLONE_NEWNET);
    close(original_);
}

}  // namespace hoplark::test
