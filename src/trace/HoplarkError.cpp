#include "trace/HoplarkError.h"

namespace hoplark {

QString errorBoxText(const QString& message) {
    if (message.isEmpty() || message.back().unicode() <= u'.') return message;
    return message + QLatin1Char('.');
}

}  // namespace hoplark
