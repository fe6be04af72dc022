#include "record/SqliteStatement.h"

#include <sqlite3.h>

#include "record/SqliteDatabase.h"

namespace hoplark {

SqliteStatement::SqliteStatement(SqliteDatabase& db, const char* sql) : db_(db) {
    const int code = sqlite3_prepare_v2(db.handle(), sql, -1, &statement_, nullptr);
    if (code != SQLITE_OK) db.fail(code, "read");
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(statement_);
}

void SqliteStatement::bind(int index, qint64 value) {
    sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::bindBlob(int index, const QByteArray& value) {
    sqlite3_bind_blob(statement_, index, value.constData(), static_cast<int>(value.size()),
                      SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index) {
    sqlite3_bind_null(statement_, index);
}

void SqliteStatement::run() {
    const int code = sqlite3_step(statement_);
    sqlite3_reset(statement_);
    if (code != SQLITE_DONE && code != SQLITE_ROW) db_.fail(code, "write");
}

bool SqliteStatement::next() {
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW) return true;
    if (code == SQLITE_DONE) return false;
    db_.fail(code, "read");
}

qint64 SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

const char* SqliteStatement::blob(int column, size_t& size) const {
    // The bytes first, then their count: the order SQLite asks for.
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    size = static_cast<size_t>(sqlite3_column_bytes(statement_, column));
    return bytes;
}

QString SqliteStatement::text(int column) const {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
}

}  // namespace hoplark
