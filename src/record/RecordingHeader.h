#pragma once

#include <QString>

namespace hoplark {

// What a recording says about its trace as a whole: what was traced, from where, when, by which
// program and with which settings.
struct RecordingHeader {
    // The target as the user typed it, the dotted address probed and the host name.
    QString target;
    QString address;
    QString hostName;
    // The local address the probes left from (empty when unknown).
    QString sourceAddress;
    // When the trace began, microseconds since the Unix epoch.
    qint64 startedUtcUs = 0;
    QString programVersion;
    qint32 packetSize = 56;
    qint32 timeoutMs = 9998;
    QString delayText;
    qint32 delayMs = 0;
    bool ignoreFirstHop = false;
};

}  // namespace hoplark
