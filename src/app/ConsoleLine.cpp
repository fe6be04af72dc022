#include "app/ConsoleLine.h"

#include "probe/EchoService.h"

namespace hoplark {

void printLine(std::FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + u'\n'), stream);
    std::fflush(stream);
}

std::optional<int> settleArguments(const QStringList& warnings, bool showHelp, const QString& error,
                                   const QString& usage, std::FILE* out, std::FILE* err) {
    for (const QString& warning : warnings)
        printLine(err, warning);
    if (showHelp) {
        std::fputs(qPrintable(usage), out);
        return 0;
    }
    if (!error.isEmpty()) {
        printLine(err, QStringLiteral("hoplark: ") + error);
        std::fputs(qPrintable(usage), err);
        return 2;
    }
    return std::nullopt;
}

bool echoAvailable(const EchoService& echo, std::FILE* err) {
    if (echo.bound()) return true;
    printLine(err, QString::fromStdString(echo.startupError()));
    return false;
}

}  // namespace hoplark
