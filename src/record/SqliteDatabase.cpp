#include "record/SqliteDatabase.h"

#include <sqlite3.h>

#include "record/RecordingError.h"
#include "record/SqliteStatement.h"

namespace hoplark {

namespace {

RecordingError::Kind kindOf(int code) {
    switch (code & 0xFF) {
        case SQLITE_FULL:
            return RecordingError::Kind::DiskFull;
        case SQLITE_NOTADB:
            return RecordingError::Kind::NotARecording;
        case SQLITE_CORRUPT:
            return RecordingError::Kind::Corrupt;
        default:
            return RecordingError::Kind::Io;
    }
}

}  // namespace

SqliteDatabase::SqliteDatabase(const QString& path, Mode mode) : path_(path) {
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
        case Mode::ReadWriteCreate:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
        case Mode::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
    }
    const QByteArray name = path.toUtf8();
    const int code = sqlite3_open_v2(name.constData(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        // A failed open still hands out a connection, and a constructor that throws runs no
        // destructor: close it here, once its message has been read.
        try {
            fail(code, "open");
        } catch (...) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            throw;
        }
    }
    sqlite3_extended_result_codes(db_, 1);
    // Another connection (a viewer of a recording being written) may hold a lock briefly.
    sqlite3_busy_timeout(db_, 2000);
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(db_);
}

void SqliteDatabase::fail(int code, const char* what) const {
    const QString detail =
        db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString::fromUtf8(sqlite3_errstr(code));
    const RecordingError::Kind kind = kindOf(code);
    QString message;
    switch (kind) {
        case RecordingError::Kind::DiskFull:
            message = QStringLiteral("The disk holding %1 is full.").arg(path_);
            break;
        case RecordingError::Kind::NotARecording:
            message = QStringLiteral("%1 is not a Hoplark recording.").arg(path_);
            break;
        case RecordingError::Kind::Corrupt:
            message = QStringLiteral("%1 is damaged and cannot be read.").arg(path_);
            break;
        default:
            message = QStringLiteral("Unable to %1 %2: %3.")
                          .arg(QString::fromLatin1(what), path_, detail);
            break;
    }
    throw RecordingError(kind, message);
}

void SqliteDatabase::exec(const char* sql) {
    char* error = nullptr;
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
    sqlite3_free(error);
    if (code != SQLITE_OK) fail(code, "write");
}

qint64 SqliteDatabase::queryInteger(const char* sql) {
    SqliteStatement statement(*this, sql);
    return statement.next() ? statement.integer(0) : 0;
}

bool SqliteDatabase::hasTable(const char* name) {
    SqliteStatement statement(*this,
                              "SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?");
    statement.bind(1, QString::fromLatin1(name));
    return statement.next() && statement.integer(0) > 0;
}

}  // namespace hoplark
