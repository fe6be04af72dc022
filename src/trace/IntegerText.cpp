#include "trace/IntegerText.h"

#include <limits>

namespace hoplark {

namespace {

int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<qint32> parseIntegerText(QStringView text, HexPrefixes prefixes) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    bool hex = false;
    if (i < n && text[i] == u'$') {
        hex = true;
        ++i;
    } else if (prefixes == HexPrefixes::DollarOrZeroX && i + 1 < n && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) return std::nullopt;

    if (hex) {
        // Up to 32 bits; the bit pattern is taken as a signed value, as "$FFFFFFFF" is -1.
        quint64 value = 0;
        for (; i < n; ++i) {
            const int digit = hexDigitValue(text[i]);
            if (digit < 0) return std::nullopt;
            value = value * 16 + quint64(digit);
            if (value > std::numeric_limits<quint32>::max()) return std::nullopt;
        }
        const auto bits = static_cast<qint32>(static_cast<quint32>(value));
        return negative ? static_cast<qint32>(0u - static_cast<quint32>(bits)) : bits;
    }

    qint64 value = 0;
    const qint64 limit = negative ? qint64(std::numeric_limits<qint32>::max()) + 1
                                  : qint64(std::numeric_limits<qint32>::max());
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9') return std::nullopt;
        value = value * 10 + (u - '0');
        if (value > limit) return std::nullopt;
    }
    return static_cast<qint32>(negative ? -value : value);
}

qint32 integerTextOr(QStringView text, qint32 fallback, HexPrefixes prefixes) {
    return parseIntegerText(text, prefixes).value_or(fallback);
}

}  // namespace hoplark
