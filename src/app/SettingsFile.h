#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "app/IniDocument.h"

namespace hoplark {

// The INI profile the program keeps its settings in, read and written by section and key.
// Section and key names compare without regard to case, so a hand-edited "[warnings]" or
// "warningspeed=300" is found. Integers and booleans follow the integer text rule (with $ or 0x
// hexadecimal); anything unreadable gives the caller's default.
//
// Opening reads the file once; writes collect in memory and commit() replaces the file as a
// whole through a temporary file beside it, so it is never left half-written. Everything this
// program does not write stays as it was: other keys, comments, lines it cannot read, and the
// bytes of values that are not UTF-8 (such values read as Latin-1 and are written back in their
// own bytes). A path that is a symbolic link is written through to the file it points at.
class SettingsFile {
public:
    explicit SettingsFile(const QString& path);

    const QString& path() const { return path_; }

    // Why the file exists but could not be read whole (empty when it was read, or is missing).
    // Such a file is never written: commit() leaves it as it is.
    const QString& readError() const { return readError_; }
    bool readFailed() const { return !readError_.isEmpty(); }

    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    qint32 ReadInteger(const QString& section, const QString& key, qint32 fallback) const;
    bool ReadBool(const QString& section, const QString& key, bool fallback) const;
    // The non-empty values of keys prefix0 … prefix(count-1) that exist, in index order. Costs
    // only the keys present, whatever count says.
    QStringList ReadStringList(const QString& section, const QString& prefix, qint32 count) const;

    // A value holding a line break or any other control character is refused (the key keeps
    // what the file had): no text may become a section or a key of its own. Returns false then.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, qint32 value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Writes everything to disk. Throws HoplarkError "Unable to write to <path>" when the file
    // cannot be replaced, or was not read whole; the old file is then left as it was.
    void commit();

    // The text of a value's bytes: UTF-8 when they are valid UTF-8, Latin-1 otherwise.
    static QString decodeValue(const QByteArray& bytes);

private:
    void load();

    QString path_;
    QString readError_;
    IniDocument document_;
    // Values in the file that are not UTF-8, by their text, so they are written back in their
    // own bytes wherever the program writes that text.
    QHash<QString, QByteArray> foreignBytes_;
};

}  // namespace hoplark
