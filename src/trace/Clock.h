#pragma once

#include <QtGlobal>

namespace hoplark {

// The millisecond tick counter the round timer measures its launches with; tests replace it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 tickMs() const = 0;
    // Wall-clock time in microseconds since the Unix epoch, for the times a trace keeps of its
    // rounds. The system's unless a test replaces it.
    virtual qint64 utcUs() const;
};

// The monotonic system clock.
class SteadyClock : public Clock {
public:
    qint64 tickMs() const override;
};

}  // namespace hoplark
