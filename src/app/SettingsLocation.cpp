#include "app/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace hoplark {

namespace {
const QString FileName = QStringLiteral("Hoplark.INI");
}

QString SettingsLocation::resolve() const {
    if (!overridePath.isEmpty()) return QFileInfo(overridePath).absoluteFilePath();
    if (isWritableDir && isWritableDir(executableDir))
        return QDir(executableDir).filePath(FileName);
    // The XDG rule: an unset or relative $XDG_CONFIG_HOME means ~/.config.
    const QString configHome = !xdgConfigHome.isEmpty() && QDir::isAbsolutePath(xdgConfigHome)
                                   ? xdgConfigHome
                                   : QDir(homeDir).filePath(QStringLiteral(".config"));
    return QDir(configHome).filePath(QStringLiteral("hoplark/") + FileName);
}

SettingsLocation SettingsLocation::fromEnvironment(const QString& overridePath) {
    SettingsLocation location;
    location.overridePath = overridePath;
    location.executableDir = QCoreApplication::applicationDirPath();
    location.xdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    location.homeDir = QDir::homePath();
    location.isWritableDir = [](const QString& dir) {
        const QFileInfo info(dir);
        return info.isDir() && info.isWritable();
    };
    return location;
}

}  // namespace hoplark
