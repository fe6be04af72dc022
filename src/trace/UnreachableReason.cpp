#include "trace/UnreachableReason.h"

#include <array>

namespace hoplark {

QString UnreachableCodeText(quint8 code) {
    // RFC 792 and RFC 1812's codes 0 to 15, in order.
    static const std::array<const char*, 16> names = {
        "network unreachable",
        "host unreachable",
        "protocol unreachable",
        "port unreachable",
        "fragmentation needed",
        "source route failed",
        "destination network unknown",
        "destination host unknown",
        "source host isolated",
        "network administratively prohibited",
        "host administratively prohibited",
        "network unreachable for the type of service",
        "host unreachable for the type of service",
        "administratively prohibited",
        "host precedence violation",
        "precedence cut-off in effect",
    };
    if (code < names.size()) return QString::fromLatin1(names[code]);
    return QStringLiteral("unreachable (code %1)").arg(code);
}

QString UnreachableReasonText(const QString& router, std::optional<quint8> code) {
    const QString words = code ? UnreachableCodeText(*code) : QStringLiteral("unreachable");
    return QStringLiteral("%1 from %2").arg(words, router);
}

}  // namespace hoplark
