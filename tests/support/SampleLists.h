#pragma once

#include <vector>

#include "trace/HostInfo.h"

namespace hoplark {

// A hop's samples as plain lists, one entry per round, for comparing with expected values.
inline std::vector<qint32> msOf(const THostInfo& record) {
    std::vector<qint32> values;
    for (const HopSample& sample : record.Samples)
        values.push_back(sample.ms);
    return values;
}

inline std::vector<qint32> usOf(const THostInfo& record) {
    std::vector<qint32> values;
    for (const HopSample& sample : record.Samples)
        values.push_back(sample.us);
    return values;
}

inline std::vector<SampleState> statesOf(const THostInfo& record) {
    std::vector<SampleState> states;
    for (const HopSample& sample : record.Samples)
        states.push_back(sample.state);
    return states;
}

}  // namespace hoplark
