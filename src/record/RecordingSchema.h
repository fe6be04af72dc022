#pragma once

#include "record/SqliteDatabase.h"

namespace hoplark {

// The tables of a recording and how an older file is brought up to date. A recording carries
// its own application id, so a foreign SQLite file is told apart from one of ours, and its
// schema version in user_version.
class RecordingSchema {
public:
    // "HOPL" as a big-endian integer.
    static constexpr qint64 ApplicationId = 0x484F504C;
    static constexpr int CurrentVersion = 3;

    // Creates every table of the current version in an empty database.
    static void create(SqliteDatabase& db);
    // Creates the tables of one older version only (for files written by older programs, and
    // for testing the way up from them).
    static void createVersion(SqliteDatabase& db, int version);
    // Brings a writable recording of an older version up to the current one, in one
    // transaction. Does nothing for a current file.
    static void migrate(SqliteDatabase& db);
    // The version of an opened recording. Throws RecordingError for a file that is not a
    // recording or was made by a newer program.
    static int check(SqliteDatabase& db);
};

}  // namespace hoplark
