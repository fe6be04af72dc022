#pragma once

#include <QString>
#include <memory>

namespace hoplark {

// The INI profile the program keeps its settings in, read and written by section and key.
// Section and key names compare without regard to case, so a hand-edited "[warnings]" or
// "warningspeed=300" is found. Integers and booleans follow the integer text rule (with $ or 0x
// hexadecimal); anything unreadable gives the caller's default.
//
// Opening reads the file once; writes collect in memory and commit() replaces the file as a
// whole through a temporary file in the same folder, so it is never left half-written. Keys
// this program does not write (history items beyond the count, [Advanced] PacketSize) stay.
class SettingsFile {
public:
    explicit SettingsFile(const QString& path);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    const QString& path() const { return path_; }

    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    qint32 ReadInteger(const QString& section, const QString& key, qint32 fallback) const;
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint32 value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Writes everything to disk. Throws HoplarkError "Unable to write to <path>" when the file
    // cannot be replaced; the old file is then left as it was.
    void commit();

private:
    struct Ini;
    QString path_;
    std::unique_ptr<Ini> ini_;
};

}  // namespace hoplark
