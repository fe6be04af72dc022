#pragma once

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

#include "record/ProbePack.h"
#include "record/RecordingBatch.h"
#include "record/RecordingHeader.h"
#include "record/SqliteDatabase.h"
#include "record/SqliteStatement.h"

namespace hoplark {

// Writes one recording: creates the file with its header, then appends one batch per
// transaction. The file is in write-ahead-log mode, so whatever was committed survives a crash
// of the program and the file always opens. Not thread-safe: one thread uses it at a time.
class RecordingWriter {
public:
    // Creates a new recording at `path`. Throws RecordingError when the file exists already
    // (nothing is overwritten) or cannot be created.
    RecordingWriter(const QString& path, const RecordingHeader& header);
    // Folds the log back into the file, so that a finished recording is one self-contained
    // file that can be copied elsewhere.
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Writes the batch in one transaction. Throws RecordingError (DiskFull when the disk is
    // full); the file then holds every batch before this one.
    void write(const RecordingBatch& batch);

    const QString& path() const { return db_->path(); }
    qint64 probesWritten() const { return probesWritten_; }

private:
    void createTables(const RecordingHeader& header);
    qint64 responderId(const QString& address);

    std::unique_ptr<SqliteDatabase> db_;
    std::unique_ptr<SqliteStatement> insertRound_;
    std::unique_ptr<SqliteStatement> insertProbe_;
    std::unique_ptr<SqliteStatement> insertName_;
    std::unique_ptr<SqliteStatement> insertResponder_;
    std::unique_ptr<SqliteStatement> insertPack_;
    std::vector<PackedProbe> packed_;
    QHash<QString, qint64> responders_;
    qint64 probesWritten_ = 0;
};

}  // namespace hoplark
