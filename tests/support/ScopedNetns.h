#pragma once

#include <string>

namespace hoplark::test {

// Moves the calling thread into a named network namespace for the object's lifetime; threads
// it starts meanwhile (hop workers) are born there too, and sockets keep the namespace they were
// opened in. Throws std::runtime_error when the namespace cannot be entered.
class ScopedNetns {
public:
    explicit ScopedNetns(const std::string& ns);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns&) = delete;
    ScopedNetns& operator=(const ScopedNetns&) = delete;

private:
    int original_ = -1;
};

}  // namespace hoplark::test
