// The packed probes of a recording over arbitrary bytes, as a damaged or hostile file holds
// them: decoding never reads past the end, and whatever it accepts encodes back to a pack that
// decodes to the same probes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "record/ProbePack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that a read past them leaves the allocation.
    const std::vector<char> bytes(data, data + size);
    std::vector<hoplark::PackedProbe> probes;
    if (!hoplark::ProbePack::decode(bytes.data(), bytes.size(), probes)) return 0;
    const QByteArray again = hoplark::ProbePack::encode(probes);
    std::vector<hoplark::PackedProbe> decoded;
    if (!hoplark::ProbePack::decode(again.constData(), size_t(again.size()), decoded) ||
        decoded != probes)
        std::abort();
    // The encoder writes the shortest form, so a second round changes nothing.
    if (hoplark::ProbePack::encode(decoded) != again) std::abort();
    return 0;
}
