#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

struct sqlite3_stmt;

namespace hoplark {

class SqliteDatabase;

// A prepared statement, reset after each row run.
class SqliteStatement {
public:
    SqliteStatement(SqliteDatabase& db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bind(int index, qint64 value);
    void bind(int index, const QString& value);
    void bindBlob(int index, const QByteArray& value);
    void bindNull(int index);
    // Runs a statement that returns no rows, then resets it for the next binding.
    void run();
    // Steps to the next row; false at the end.
    bool next();
    qint64 integer(int column) const;
    bool isNull(int column) const;
    QString text(int column) const;
    // The bytes of a blob column, valid until the next step; `size` receives their count.
    const char* blob(int column, size_t& size) const;

private:
    SqliteDatabase& db_;
    sqlite3_stmt* statement_ = nullptr;
};

}  // namespace hoplark
