#include "trace/Clock.h"

#include <chrono>

namespace hoplark {

qint64 Clock::utcUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

qint64 SteadyClock::tickMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace hoplark
