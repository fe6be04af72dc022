#pragma once

#include <QColor>
#include <QPalette>

namespace hoplark::testing {

// A dark desktop theme, as the painting tests check the grid and the timeline against.
inline QPalette DarkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(53, 53, 53));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(42, 42, 42));
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(53, 53, 53));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Light, QColor(90, 90, 90));
    palette.setColor(QPalette::Dark, QColor(25, 25, 25));
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return palette;
}

}  // namespace hoplark::testing
