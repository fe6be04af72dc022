#pragma once

#include <QString>
#include <vector>

#include "trace/HostInfo.h"

namespace hoplark {

// One row of every table a recording grows as a trace runs.
struct RecordedRound {
    qint32 round = 0;
    qint64 startedUtcUs = 0;
};

// One worker result, as it reached the session.
struct RecordedProbe {
    qint32 round = 0;
    qint32 hop = 0;
    qint64 sentUtcUs = 0;
    // The millisecond sample (LOST_SAMPLE for no answer) and the round trip in microseconds
    // (-1 for lost).
    qint32 sampleMs = LOST_SAMPLE;
    qint32 roundTripUs = -1;
    QString responder;
    quint8 icmpType = 0;
    quint8 icmpCode = 0;
    SampleClock clock = SampleClock::Monotonic;
};

// One reverse name, with the number of probes that had reached the session before it.
struct RecordedName {
    qint64 afterProbe = 0;
    qint32 hop = 0;
    QString address;
    QString name;
    qint64 learntUtcUs = 0;
};

// What one transaction writes: normally one round's launch and its answers.
struct RecordingBatch {
    std::vector<RecordedRound> rounds;
    std::vector<RecordedProbe> probes;
    std::vector<RecordedName> names;
    // The target's reverse name, when it arrived after the header was written; else empty.
    QString targetHostName;

    bool empty() const {
        return rounds.empty() && probes.empty() && names.empty() && targetHostName.isEmpty();
    }
};

}  // namespace hoplark
