#pragma once

#include <QString>

namespace hoplark {

// The local address this machine would send from to reach the address `target` (as text);
// empty when `target` is no address or there is no route to it.
QString SourceAddressTextToward(const QString& target);

}  // namespace hoplark
