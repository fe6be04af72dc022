#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace hoplark {

// The bounds a window opens at from saved ones, given the screens' available areas. The window
// stays on the screen that would show most of it, wholly inside that screen's area: a size is
// kept between the minimum and that area, and a position that would put part of the window
// off it is moved just far enough in. A window that no screen would show any part of is
// centred on the primary screen instead. Coordinates far outside the int range of a rectangle
// are handled safely.
QRect PlaceWindow(qint64 left, qint64 top, qint64 width, qint64 height, const QSize& minimum,
                  const QList<QRect>& screens, const QRect& primary);

// PlaceWindow against the available areas of the screens the application has now, in the
// device-independent pixels window bounds are given in at any scale.
QRect PlaceWindowOnScreens(qint64 left, qint64 top, qint64 width, qint64 height,
                           const QSize& minimum);

}  // namespace hoplark
