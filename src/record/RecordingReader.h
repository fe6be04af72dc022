#pragma once

#include <QString>

#include "record/RecordingHeader.h"
#include "trace/TraceState.h"

namespace hoplark {

// A stored trace, rebuilt: its header and the hop table exactly as the live session had it
// after the last stored result, with every sample's detail and every round's start time. The
// statistics are measured once the session sets its window.
struct LoadedRecording {
    RecordingHeader header;
    TraceState state;
    int schemaVersion = 0;
    qint64 probeCount = 0;
    // The latest moment the recording knows of: the last answer's arrival or round's start.
    qint64 lastActivityUtcUs = 0;
};

// Reads recordings. A file is only ever opened read-only: a damaged or foreign file is
// reported and left exactly as it was.
class RecordingReader {
public:
    // Throws RecordingError with a message for the user when `path` cannot be read as a
    // recording.
    static LoadedRecording load(const QString& path);
};

}  // namespace hoplark
