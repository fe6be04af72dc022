#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hoplark {

// One probe row as a pack carries it: the probe table's columns with the responder by id.
struct PackedProbe {
    qint32 round = 0;
    qint32 hop = 0;
    qint64 sentUtcUs = 0;
    qint32 sampleMs = 0;
    // -1: no round trip (NULL in the probe table).
    qint32 roundTripUs = -1;
    // -1: no responder (NULL in the probe table).
    qint64 responderId = -1;
    quint8 icmpType = 0;
    quint8 icmpCode = 0;
    quint8 clock = 0;

    bool operator==(const PackedProbe&) const = default;
};

// The compact companion of one transaction's probe rows: the same probes in merge order, each
// column a varint and the round and send time as differences from the probe before. Opening a
// long recording reads one pack per round instead of stepping every probe row.
class ProbePack {
public:
    static QByteArray encode(const std::vector<PackedProbe>& probes);
    // Decodes `size` bytes into `probes` (replacing its contents). Never reads past the end:
    // returns false for a truncated, overlong or malformed pack, or one whose values do not fit
    // their columns, and what `probes` then holds is not to be used.
    static bool decode(const char* data, size_t size, std::vector<PackedProbe>& probes);
};

}  // namespace hoplark
