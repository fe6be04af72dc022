// The report's arguments over arbitrary argument lists (NUL bytes split the input into
// arguments). Accepted options always lie within the ranges the report can run with; refused
// ones always say why.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QStringList>

#include "app/ReportOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QStringList arguments;
    for (const QByteArray& part :
         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0'))
        arguments << QString::fromUtf8(part);
    const hoplark::ReportArguments parsed = hoplark::ParseReportArguments(arguments);
    const hoplark::ReportOptions& options = parsed.options;
    if (!parsed.error.isEmpty() || options.showHelp) return 0;
    if (options.target.isEmpty() && !arguments.contains(QString())) std::abort();
    if (options.count < 1 || options.count > 1000000) std::abort();
    if (options.samples < 0 || options.samples > 1000000) std::abort();
    if (options.timeoutMs < 1 || options.timeoutMs > 9998) std::abort();
    if (options.packetSize < 0 || options.packetSize > 65507) std::abort();
    if (options.delayMs == 0) std::abort();
    return 0;
}
