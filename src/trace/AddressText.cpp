#include "trace/AddressText.h"

#include "probe/IpAddress.h"
#include "probe/SourceAddress.h"

namespace hoplark {

QString SourceAddressTextToward(const QString& target) {
    const auto address = IpAddress::Parse(target.toStdString());
    if (!address) return {};
    const auto source = SourceAddressToward(*address);
    return source ? QString::fromStdString(source->text()) : QString();
}

}  // namespace hoplark
