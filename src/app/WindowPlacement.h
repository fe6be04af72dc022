#pragma once

#include <QList>
#include <QRect>
#include <QSize>

namespace hoplark {

// The bounds a window opens at from saved ones. The saved bounds stand as they are unless they
// would lose the window: a size is kept within the minimum and the area all screens cover
// together, and a window that no screen would show any part of is centred on the primary
// screen instead. Coordinates far outside the int range of a rectangle are handled safely.
QRect PlaceWindow(qint64 left, qint64 top, qint64 width, qint64 height, const QSize& minimum,
                  const QList<QRect>& screens, const QRect& primary);

// PlaceWindow against the screens the application has now.
QRect PlaceWindowOnScreens(qint64 left, qint64 top, qint64 width, qint64 height,
                           const QSize& minimum);

}  // namespace hoplark
