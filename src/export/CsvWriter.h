#pragma once

#include <QString>
#include <QStringList>

namespace hoplark {

// Plain RFC 4180 CSV: one header row, then rows, CRLF line ends, a field quoted only when it
// holds a comma, a quote or a line break (its quotes doubled). Every export writes through it,
// so a spreadsheet opens each file the same way.
class CsvWriter {
public:
    explicit CsvWriter(QString& out) : out_(out) {}

    void row(const QStringList& fields);

    static QString field(const QString& text);

private:
    QString& out_;
};

}  // namespace hoplark
