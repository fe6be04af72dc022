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

std::optional<quint8> UnreachableCodeOf(bool icmpv6, quint8 type, quint8 code) {
    if (!icmpv6) return type == 3 ? std::optional<quint8>(code) : std::nullopt;
    if (type != 1) return std::nullopt;
    switch (code) {
        case 0:
            return quint8{0};
        case 2:  // beyond the scope of the source address
        case 3:
            return quint8{1};
        case 4:
            return quint8{3};
        case 1:
        case 5:
        case 6:
            return quint8{13};
        default:
            return std::nullopt;
    }
}

QString UnreachableReasonText(const QString& router, std::optional<quint8> code) {
    const QString words = code ? UnreachableCodeText(*code) : QStringLiteral("unreachable");
    return QStringLiteral("%1 from %2").arg(words, router);
}

}  // namespace hoplark
