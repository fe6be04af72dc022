#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace hoplark {

namespace {

bool overlaps(qint64 left, qint64 top, qint64 width, qint64 height, const QRect& screen) {
    return left < qint64(screen.x()) + screen.width() && left + width > screen.x() &&
           top < qint64(screen.y()) + screen.height() && top + height > screen.y();
}

}  // namespace

QRect PlaceWindow(qint64 left, qint64 top, qint64 width, qint64 height, const QSize& minimum,
                  const QList<QRect>& screens, const QRect& primary) {
    QRect covered;
    for (const QRect& screen : screens)
        covered = covered.united(screen);
    if (covered.isEmpty()) covered = primary;
    const qint64 maxWidth = std::max<qint64>(covered.width(), minimum.width());
    const qint64 maxHeight = std::max<qint64>(covered.height(), minimum.height());
    width = std::clamp<qint64>(width, minimum.width(), maxWidth);
    height = std::clamp<qint64>(height, minimum.height(), maxHeight);

    const bool shown = std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        return overlaps(left, top, width, height, screen);
    });
    if (!shown) {
        left = primary.x() + (primary.width() - width) / 2;
        top = primary.y() + (primary.height() - height) / 2;
    }
    return {int(left), int(top), int(width), int(height)};
}

QRect PlaceWindowOnScreens(qint64 left, qint64 top, qint64 width, qint64 height,
                           const QSize& minimum) {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->geometry();
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect primaryBounds = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    if (screens.isEmpty()) screens << primaryBounds;
    return PlaceWindow(left, top, width, height, minimum, screens, primaryBounds);
}

}  // namespace hoplark
