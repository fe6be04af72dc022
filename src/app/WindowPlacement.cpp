#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace hoplark {

namespace {

// The area two rectangles share; 0 when they do not meet. Works on coordinates far outside the
// int range.
qint64 sharedArea(qint64 left, qint64 top, qint64 width, qint64 height, const QRect& screen) {
    const qint64 across = std::min(left + width, qint64(screen.x()) + screen.width()) -
                          std::max(left, qint64(screen.x()));
    const qint64 down = std::min(top + height, qint64(screen.y()) + screen.height()) -
                        std::max(top, qint64(screen.y()));
    return across > 0 && down > 0 ? across * down : 0;
}

// Keeps a span of `length` from `start` inside the one from `low` of `room`, its start first.
qint64 keepInside(qint64 start, qint64 length, qint64 low, qint64 room) {
    return std::max(low, std::min(start, low + room - length));
}

}  // namespace

QRect PlaceWindow(qint64 left, qint64 top, qint64 width, qint64 height, const QSize& minimum,
                  const QList<QRect>& screens, const QRect& primary) {
    // The screen that shows most of the window holds it; one no screen shows is centred on the
    // primary screen.
    const QRect* home = nullptr;
    qint64 homeArea = 0;
    for (const QRect& screen : screens) {
        const qint64 area = sharedArea(left, top, width, height, screen);
        if (area > homeArea) {
            home = &screen;
            homeArea = area;
        }
    }
    const QRect area = home ? *home : primary;
    width =
        std::clamp<qint64>(width, minimum.width(), std::max<qint64>(area.width(), minimum.width()));
    height = std::clamp<qint64>(height, minimum.height(),
                                std::max<qint64>(area.height(), minimum.height()));
    if (home) {
        left = keepInside(left, width, area.x(), area.width());
        top = keepInside(top, height, area.y(), area.height());
    } else {
        left = area.x() + (area.width() - width) / 2;
        top = area.y() + (area.height() - height) / 2;
    }
    return {int(left), int(top), int(width), int(height)};
}

QRect PlaceWindowOnScreens(qint64 left, qint64 top, qint64 width, qint64 height,
                           const QSize& minimum) {
    // Qt gives screens in device-independent pixels, the unit the saved bounds are in, whatever
    // the scale; the available part leaves out panels and docks.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect primaryBounds = primary ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
    if (screens.isEmpty()) screens << primaryBounds;
    return PlaceWindow(left, top, width, height, minimum, screens, primaryBounds);
}

}  // namespace hoplark
