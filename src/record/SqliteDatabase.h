#pragma once

#include <QString>
#include <cstdint>

struct sqlite3;

namespace hoplark {

// One connection to an SQLite file. Failures throw RecordingError with SQLite's own text and
// the file's path, so the user learns which file and why.
class SqliteDatabase {
public:
    enum class Mode { ReadOnly, ReadWriteCreate, ReadWrite };

    SqliteDatabase(const QString& path, Mode mode);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    const QString& path() const { return path_; }
    sqlite3* handle() const { return db_; }

    // Runs one or more statements that return no rows of interest.
    void exec(const char* sql);
    // The first column of the first row of `sql` as an integer (0 when there is no row).
    qint64 queryInteger(const char* sql);
    bool hasTable(const char* name);

    // Throws the RecordingError for SQLite result `code` from the last call.
    [[noreturn]] void fail(int code, const char* what) const;

private:
    QString path_;
    sqlite3* db_ = nullptr;
};

}  // namespace hoplark
