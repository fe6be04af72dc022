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
        if (!first) out_ += u',';
        first = false;
        out_ += field(text);
    }
    out_ += QStringLiteral("\r\n");
}

}  // namespace hoplark
