#pragma once

#include <QColor>
#include <QString>

namespace hoplark {

// Name, point size and colour of a drawing surface's font: what the grid painter changes for
// its scale labels and restores afterwards.
struct CanvasFont {
    QString name;
    int pointSize = 8;
    QColor color;

    bool operator==(const CanvasFont&) const = default;
};

}  // namespace hoplark
