#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace hoplark {

class EchoService;

// Writes `text` and a line end to `stream` at once, for the headless modes' messages.
void printLine(std::FILE* stream, const QString& text);

// What a headless mode does with its parsed arguments before anything runs: prints the
// warnings, then the usage for --help (exit status 0) or the error and the usage (2). Empty
// when the mode should go on.
std::optional<int> settleArguments(const QStringList& warnings, bool showHelp, const QString& error,
                                   const QString& usage, std::FILE* out, std::FILE* err);

// False, with the reason printed, when the echo facility could not be bound at start.
bool echoAvailable(const EchoService& echo, std::FILE* err);

}  // namespace hoplark
