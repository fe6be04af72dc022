#pragma once

#include <QString>
#include <QTemporaryDir>

namespace hoplark::testing {

// A settings file of its own for one test, in a fresh temporary folder.
class TempSettings {
public:
    TempSettings();

    QString path() const;
    QString folder() const { return dir_.path(); }
    bool exists() const;
    // Replaces the file's content.
    void write(const QString& content) const;
    // The file's content, or an empty text when there is none.
    QString read() const;

private:
    QTemporaryDir dir_;
};

// While alive, the calling thread cannot bypass file permissions even as root, so a folder
// without write permission really refuses writes.
class ScopedFilePermissionsEnforced {
public:
    ScopedFilePermissionsEnforced();
    ~ScopedFilePermissionsEnforced();
    ScopedFilePermissionsEnforced(const ScopedFilePermissionsEnforced&) = delete;
    ScopedFilePermissionsEnforced& operator=(const ScopedFilePermissionsEnforced&) = delete;

private:
    bool dropped_ = false;
    unsigned int savedEffective_[2] = {0, 0};
};

}  // namespace hoplark::testing
