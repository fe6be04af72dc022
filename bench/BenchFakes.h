#pragma once

// Stand-ins for the network and the clock, so the benchmarks time only the UI thread's work.
#include <QtGlobal>
#include <optional>
#include <string>

#include "probe/NameService.h"
#include "trace/Clock.h"

namespace hoplark::bench {

// Every address is "localhost"; no name resolves forward.
class LocalhostNames : public NameService {
public:
    std::optional<HostEntry> LookupHost(const std::string&) override { return std::nullopt; }
    std::optional<std::string> LookupAddress(const IpAddress&) override { return "localhost"; }
};

// Time stands still, so every launch counts as instant.
class FixedClock : public Clock {
public:
    qint64 tickMs() const override { return 0; }
};

}  // namespace hoplark::bench
