#pragma once

#include <QString>
#include <functional>

namespace hoplark {

// Where the settings file lives: the --settings path when one was given; otherwise
// "Hoplark.INI" in the executable's folder when that folder is writable (a program unpacked
// somewhere of the user's own); otherwise, for an installed program, in the user's
// configuration folder ($XDG_CONFIG_HOME/hoplark, by default ~/.config/hoplark).
struct SettingsLocation {
    QString overridePath;
    QString executableDir;
    QString xdgConfigHome;  // the variable's value; empty when unset
    QString homeDir;
    std::function<bool(const QString& dir)> isWritableDir;

    QString resolve() const;

    // The location for this process, from its environment.
    static SettingsLocation fromEnvironment(const QString& overridePath);
};

}  // namespace hoplark
