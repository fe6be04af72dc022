// Feeds arbitrary text to the address reader the destination field, the history list, the
// report and recordings go through. An address it reads must show as text that reads back as
// the same address, and text it refuses must come with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "probe/IpAddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto address = hoplark::IpAddress::Parse(text);
    if (!address) {
        if (hoplark::IpAddress::WhyNotAnAddress(text).empty()) std::abort();
        return 0;
    }
    const std::string shown = address->text();
    const auto again = hoplark::IpAddress::Parse(shown);
    if (!again || *again != *address || again->text() != shown) std::abort();
    if (address->hash() != again->hash()) std::abort();
    return 0;
}
