#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <optional>
#include <utility>
#include <vector>

namespace hoplark {

// An INI file held line by line as bytes, read the way profile files are read: a section is
// "[name]", a key line is "key=value" (blanks around both trimmed), section and key names
// compare without regard to ASCII case, and the first occurrence of a key wins, also across
// repeated sections. Any other line (a comment, garbage, a line holding a NUL byte, keys before
// the first section) is skipped on reading and written back exactly as it was, so a damaged
// line never costs the keys around it. Values are bytes: text in any encoding survives.
// Reading, looking up, setting and writing cost time in proportion to the file: a history of
// a hundred thousand items is read and written as fast as its bytes.
class IniDocument {
public:
    static IniDocument parse(QByteArrayView bytes);
    QByteArray serialize() const;

    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const;
    // The keys of a section with their values, in file order, each key once (its first
    // occurrence, as value() reads it).
    QList<std::pair<QByteArray, QByteArray>> entries(QByteArrayView section) const;
    // Every value the file holds, in file order.
    QList<QByteArray> values() const;

    // Sets a value, replacing the key's first occurrence or adding it at the end of its
    // section (the section at the end of the file when there is none). Refuses, and changes
    // nothing, when a name or the value holds a control character, or a name could not be read
    // back as the same section or key: no value may ever turn into lines of its own.
    bool setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value);

    static bool isWritableValue(QByteArrayView value);

private:
    enum class Kind { Section, Key, Other };
    struct Line {
        QByteArray raw;     // the line without its terminator
        bool crlf = false;  // the line ended in CR LF
        Kind kind = Kind::Other;
        QByteArray name;        // section or key name, trimmed
        QByteArray value;       // a key's value, trimmed
        bool shadowed = false;  // a key the same section named before: never read
    };

    static Line classify(QByteArray raw, bool firstLine);
    // The lookup name of a key within its section; names compare without regard to ASCII case.
    static QByteArray foldedKey(QByteArrayView section, QByteArrayView key);
    // Adds a line to the store and links it in after `after` (at the end when -1 is the end).
    qsizetype linkAfter(qsizetype after, Line line);
    void append(Line line) { linkAfter(last_, std::move(line)); }

    // Lines are stored in the order they came to be and linked in file order, so that a new
    // key joins its section without moving the lines after it.
    std::vector<Line> lines_;
    std::vector<qsizetype> next_;  // the index of the line that follows each line, or -1
    qsizetype first_ = -1;
    qsizetype last_ = -1;
    // The first occurrence of each key, by its folded section and key names.
    QHash<QByteArray, qsizetype> keys_;
    // For each folded section name, the line a new key of that section goes after: the last key
    // of the section's first block, or its header when that block holds no key.
    QHash<QByteArray, qsizetype> sectionEnds_;
    bool crlf_ = false;  // new lines follow the file's line ends
};

}  // namespace hoplark
