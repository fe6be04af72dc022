#pragma once

#include <optional>

#include "probe/IpAddress.h"

namespace hoplark {

// The local address the system would send from to reach `target`; nothing when it has no route
// there. Asks the routing table through a connected datagram socket: no packet leaves the
// machine.
std::optional<IpAddress> SourceAddressToward(const IpAddress& target);

}  // namespace hoplark
