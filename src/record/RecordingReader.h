#pragma once

#include <QString>
#include <atomic>

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
    // Whether the probes came from the packed copy rather than the probe rows.
    bool fromPacks = false;
};

// Reads recordings. A file is only ever opened read-only: a damaged or foreign file is
// reported and left exactly as it was.
class RecordingReader {
public:
    // Packs: the packed probes where they cover every probe row, else the rows. ProbeRows: the
    // rows only, as older files are read.
    enum class Source { Packs, ProbeRows };

    // Throws RecordingError with a message for the user when `path` cannot be read as a
    // recording. Safe on any thread; with `cancel` set from another thread the load stops
    // soon and throws RecordingError of kind Cancelled.
    static LoadedRecording load(const QString& path, Source source = Source::Packs,
                                const std::atomic<bool>* cancel = nullptr);
};

}  // namespace hoplark
