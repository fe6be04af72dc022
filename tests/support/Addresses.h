#pragma once

#include <stdexcept>
#include <string>

#include "probe/IpAddress.h"

namespace hoplark {

// An address the test writes as text; a typo fails loudly.
inline IpAddress Ip(const std::string& text) {
    const auto address = IpAddress::Parse(text);
    if (!address) throw std::invalid_argument("not an address: " + text);
    return *address;
}

}  // namespace hoplark
