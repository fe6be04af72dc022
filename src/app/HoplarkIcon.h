#pragma once

#include <QIcon>
#include <QString>

namespace hoplark {

// The id the desktop entry, the icons and the metainfo are installed under; the window reports
// it so that a desktop matches the running window to its menu entry and icon.
inline const QString DesktopId = QStringLiteral("io.github.hoplark.Hoplark");

// The program's emblem at every size it is shipped in, from the program's own resources, so the
// window shows it also when the program is run uninstalled.
QIcon hoplarkIcon();

}  // namespace hoplark
