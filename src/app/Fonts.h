#pragma once

#include <QFont>

namespace hoplark {

// The dialogs' fonts are given as character heights in pixels; "Arial" resolves to the
// metric-compatible Liberation Sans.
inline QFont arialPixels(int pixels, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

}  // namespace hoplark
