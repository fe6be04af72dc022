#pragma once

#include <string>

namespace hoplark {

// The local IPv4 address the system would send from to reach dotted address `target`, as
// dotted text; empty when there is no route or the text is not an address. Asks the routing
// table through an unconnected-then-connected datagram socket: no packet leaves the machine.
std::string SourceAddressToward(const std::string& target);

}  // namespace hoplark
