#include "record/ProbePack.h"

#include <limits>

namespace hoplark {

namespace {

// The first byte says how the rest is laid out, so that a later layout can sit beside it.
constexpr char Layout = 1;
// A pack holds one transaction's probes; anything claiming more is damage, and the bound keeps
// a damaged count from reserving gigabytes.
constexpr quint64 MaxProbes = 1u << 20;

quint64 zigzag(qint64 value) {
    return (static_cast<quint64>(value) << 1) ^ static_cast<quint64>(value >> 63);
}

qint64 unzigzag(quint64 value) {
    return static_cast<qint64>(value >> 1) ^ -static_cast<qint64>(value & 1);
}

void put(QByteArray& out, quint64 value) {
    while (value >= 0x80) {
        out.append(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.append(static_cast<char>(value));
}

class Cursor {
public:
    Cursor(const char* data, size_t size)
        : p_(reinterpret_cast<const unsigned char*>(data)), end_(p_ + size) {}

    bool varint(quint64& value) {
        value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (p_ == end_) return false;
            const unsigned char byte = *p_++;
            // The tenth byte may only carry the top bit.
            if (shift == 63 && byte > 1) return false;
            value |= static_cast<quint64>(byte & 0x7F) << shift;
            if (!(byte & 0x80)) return true;
        }
        return false;
    }
    bool signedVarint(qint64& value) {
        quint64 raw;
        if (!varint(raw)) return false;
        value = unzigzag(raw);
        return true;
    }
    bool byte(unsigned char& value) {
        if (p_ == end_) return false;
        value = *p_++;
        return true;
    }
    bool atEnd() const { return p_ == end_; }

private:
    const unsigned char* p_;
    const unsigned char* end_;
};

bool fitsInt32(qint64 value) {
    return value >= std::numeric_limits<qint32>::min() &&
           value <= std::numeric_limits<qint32>::max();
}

bool addWithoutOverflow(qint64 a, qint64 b, qint64& sum) {
    return !__builtin_add_overflow(a, b, &sum);
}

}  // namespace

QByteArray ProbePack::encode(const std::vector<PackedProbe>& probes) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(8 + probes.size() * 14));
    out.append(Layout);
    put(out, probes.size());
    qint64 round = 0;
    qint64 sent = 0;
    for (const PackedProbe& probe : probes) {
        put(out, zigzag(qint64(probe.round) - round));
        put(out, zigzag(qint64(probe.hop)));
        put(out, zigzag(static_cast<qint64>(static_cast<quint64>(probe.sentUtcUs) -
                                            static_cast<quint64>(sent))));
        put(out, zigzag(probe.sampleMs));
        put(out, probe.roundTripUs < 0 ? 0 : quint64(probe.roundTripUs) + 1);
        put(out, probe.responderId < 0 ? 0 : quint64(probe.responderId) + 1);
        out.append(static_cast<char>(probe.icmpType));
        out.append(static_cast<char>(probe.icmpCode));
        out.append(static_cast<char>(probe.clock));
        round = probe.round;
        sent = probe.sentUtcUs;
    }
    return out;
}

bool ProbePack::decode(const char* data, size_t size, std::vector<PackedProbe>& probes) {
    probes.clear();
    Cursor in(data, size);
    unsigned char layout;
    quint64 count;
    if (!in.byte(layout) || layout != Layout || !in.varint(count) || count > MaxProbes)
        return false;
    // Every probe takes at least nine bytes, so a count the bytes cannot hold is refused before
    // anything is reserved for it.
    if (count > size / 9) return false;
    probes.resize(static_cast<size_t>(count));
    qint64 round = 0;
    qint64 sent = 0;
    for (PackedProbe& probe : probes) {
        qint64 roundDelta, hop, sentDelta, sample;
        quint64 roundTrip, responder;
        if (!in.signedVarint(roundDelta) || !in.signedVarint(hop) || !in.signedVarint(sentDelta) ||
            !in.signedVarint(sample) || !in.varint(roundTrip) || !in.varint(responder) ||
            !in.byte(probe.icmpType) || !in.byte(probe.icmpCode) || !in.byte(probe.clock))
            return false;
        if (!addWithoutOverflow(round, roundDelta, round) || !fitsInt32(round) || !fitsInt32(hop) ||
            !fitsInt32(sample) || roundTrip > quint64(std::numeric_limits<qint32>::max()) + 1 ||
            responder > quint64(std::numeric_limits<qint64>::max()))
            return false;
        // Send times wrap as the encoder's differences did.
        sent = static_cast<qint64>(static_cast<quint64>(sent) + static_cast<quint64>(sentDelta));
        probe.round = static_cast<qint32>(round);
        probe.hop = static_cast<qint32>(hop);
        probe.sentUtcUs = sent;
        probe.sampleMs = static_cast<qint32>(sample);
        probe.roundTripUs = roundTrip == 0 ? -1 : static_cast<qint32>(roundTrip - 1);
        probe.responderId = responder == 0 ? -1 : static_cast<qint64>(responder - 1);
    }
    return in.atEnd();
}

}  // namespace hoplark
