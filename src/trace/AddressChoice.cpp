#include "trace/AddressChoice.h"

namespace hoplark {

QString AddressChoiceKey(AddressChoice choice) {
    switch (choice) {
        case AddressChoice::V4Only:
            return QStringLiteral("ipv4");
        case AddressChoice::V6Only:
            return QStringLiteral("ipv6");
        case AddressChoice::ResolverOrder:
            break;
    }
    return QStringLiteral("auto");
}

std::optional<AddressChoice> AddressChoiceFromKey(const QString& key) {
    const QString word = key.trimmed().toLower();
    if (word == QLatin1String("auto")) return AddressChoice::ResolverOrder;
    if (word == QLatin1String("ipv4")) return AddressChoice::V4Only;
    if (word == QLatin1String("ipv6")) return AddressChoice::V6Only;
    return std::nullopt;
}

}  // namespace hoplark
