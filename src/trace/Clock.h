#pragma once

#include <QtGlobal>

namespace hoplark {

// The millisecond tick counter the round timer measures its launches with; tests replace it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 tickMs() const = 0;
};

// The monotonic system clock.
class SteadyClock : public Clock {
public:
    qint64 tickMs() const override;
};

}  // namespace hoplark
