#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

namespace hoplark {

// Plain RFC 4180 CSV: one header row, then rows, CRLF line ends, a field quoted only when it
// holds a comma, a quote or a line break (its quotes doubled). Every export writes through it,
// so a spreadsheet opens each file the same way. Rows go to the device as they come.
class CsvWriter {
public:
    explicit CsvWriter(QIODevice& out) : out_(out) {}
    ~CsvWriter() { flush(); }
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    void row(const QStringList& fields);
    // Hands what is buffered to the device; false once the device refused a write.
    bool flush();

    static QString field(const QString& text);

private:
    QIODevice& out_;
    QByteArray buffer_;
    bool failed_ = false;
};

}  // namespace hoplark
