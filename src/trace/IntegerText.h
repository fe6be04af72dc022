#pragma once

#include <QStringView>
#include <optional>

namespace hoplark {

// Which hexadecimal prefixes an integer text may carry besides "$". The settings file also
// takes the "0x" form that hand-edited INI files commonly use.
enum class HexPrefixes { DollarOnly, DollarOrZeroX };

// The one rule for turning user or file text into an integer: optional leading blanks, an
// optional sign, then decimal digits within the signed 32-bit range, or a hexadecimal number
// after "$" (or "0x" where allowed) of at most 32 bits. Nothing may follow the digits.
// Returns nothing for any other text, the empty text included, so callers apply their fallback.
std::optional<qint32> parseIntegerText(QStringView text,
                                       HexPrefixes prefixes = HexPrefixes::DollarOnly);

// parseIntegerText with a fallback value.
qint32 integerTextOr(QStringView text, qint32 fallback,
                     HexPrefixes prefixes = HexPrefixes::DollarOnly);

}  // namespace hoplark
