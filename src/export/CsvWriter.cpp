#include "export/CsvWriter.h"

namespace hoplark {

QString CsvWriter::field(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void CsvWriter::row(const QStringList& fields) {
    bool first = true;
    for (const QString& text : fields) {
        if (!first) buffer_ += ',';
        first = false;
        buffer_ += field(text).toUtf8();
    }
    buffer_ += "\r\n";
    if (buffer_.size() >= 64 * 1024) flush();
}

bool CsvWriter::flush() {
    if (!buffer_.isEmpty() && !failed_) failed_ = out_.write(buffer_) != buffer_.size();
    buffer_.clear();
    return !failed_;
}

}  // namespace hoplark
