#pragma once

#include <QString>

namespace hoplark {

// The folder the window records every trace into, and its size cap.
class RecordingFolder {
public:
    static constexpr const char* Extension = ".hoplark";

    // $XDG_DATA_HOME/hoplark/recordings (~/.local/share/... when it is not set).
    static QString defaultPath();

    explicit RecordingFolder(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // A new file for a trace of `target` begun at `startedUtcUs`: the target made safe for a
    // file name and the local start time, numbered when that name is taken. Creates the folder.
    // Throws RecordingError when it cannot be created.
    QString newRecordingPath(const QString& target, qint64 startedUtcUs) const;

    // Removes the oldest recordings (with their log files) until the folder holds at most
    // `maxBytes`; never `keep`. Returns how many were removed.
    int enforceCap(qint64 maxBytes, const QString& keep = QString()) const;

    // Bytes the recordings in the folder take, their log files included.
    qint64 totalBytes() const;

private:
    QString path_;
};

}  // namespace hoplark
