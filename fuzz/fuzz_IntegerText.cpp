// The integer text rule over arbitrary text. Decimal text is checked against a plain reading
// of its digits; the settings file's wider hexadecimal form must accept whatever the narrower
// one does, with the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include <QString>

#include "trace/IntegerText.h"

namespace {

// What the rule gives for text of blanks, a sign and decimal digits only; nothing for text of
// any other shape (hexadecimal included, which this does not judge).
enum class Shape { Decimal, Other };

Shape decimalReading(const QString& text, bool& inRange, qint64& value) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i >= text.size()) return Shape::Other;
    __int128 magnitude = 0;
    for (qsizetype j = i; j < text.size(); ++j) {
        const char16_t c = text[j].unicode();
        if (c < u'0' || c > u'9') return Shape::Other;
        if (magnitude < (__int128(1) << 40)) magnitude = magnitude * 10 + (c - u'0');
    }
    const __int128 signedValue = negative ? -magnitude : magnitude;
    inRange = signedValue >= std::numeric_limits<qint32>::min() &&
              signedValue <= std::numeric_limits<qint32>::max();
    value = static_cast<qint64>(signedValue);
    return Shape::Decimal;
}

void check(const QString& text) {
    const auto narrow = hoplark::parseIntegerText(text, hoplark::HexPrefixes::DollarOnly);
    const auto wide = hoplark::parseIntegerText(text, hoplark::HexPrefixes::DollarOrZeroX);
    if (narrow && (!wide || *wide != *narrow)) std::abort();
    if (hoplark::integerTextOr(text, 12345) != (narrow ? *narrow : 12345)) std::abort();

    bool inRange = false;
    qint64 value = 0;
    if (decimalReading(text, inRange, value) == Shape::Decimal) {
        if (inRange != narrow.has_value()) std::abort();
        if (narrow && *narrow != value) std::abort();
    }
    // Every accepted value reads back from its own decimal text.
    if (wide && hoplark::parseIntegerText(QString::number(*wide)) != wide) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    check(QString::fromUtf8(bytes, qsizetype(size)));
    check(QString::fromLatin1(bytes, qsizetype(size)));
    return 0;
}
