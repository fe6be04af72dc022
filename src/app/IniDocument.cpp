#include "app/IniDocument.h"

#include <QSet>
#include <algorithm>

namespace hoplark {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool hasControl(QByteArrayView text) {
    return std::any_of(text.begin(), text.end(), isControl);
}

bool sameName(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF");

}  // namespace

IniDocument::Line IniDocument::classify(QByteArray raw, bool firstLine) {
    Line line;
    line.raw = std::move(raw);
    // A NUL cannot be part of any profile line: the whole line is unreadable.
    if (line.raw.contains('\0')) return line;
    QByteArrayView text(line.raw);
    if (firstLine && text.startsWith(Utf8Bom)) text = text.sliced(Utf8Bom.size());
    text = trimmed(text);
    if (text.isEmpty() || text.front() == ';' || text.front() == '#') return line;
    if (text.front() == '[') {
        const qsizetype close = text.indexOf(']');
        if (close < 0) return line;
        line.kind = Kind::Section;
        line.name = trimmed(text.sliced(1, close - 1)).toByteArray();
        return line;
    }
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0) return line;
    const QByteArrayView key = trimmed(text.first(equals));
    if (key.isEmpty()) return line;
    line.kind = Kind::Key;
    line.name = key.toByteArray();
    line.value = trimmed(text.sliced(equals + 1)).toByteArray();
    return line;
}

IniDocument IniDocument::parse(QByteArrayView bytes) {
    IniDocument document;
    qsizetype start = 0;
    bool crlfSeen = false;
    bool lfSeen = false;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool terminated = end >= 0;
        if (!terminated) end = bytes.size();
        QByteArrayView text = bytes.sliced(start, end - start);
        // A CR ends a line also where the last line lacks its LF; it never joins the value.
        const bool cr = text.endsWith('\r');
        if (cr) text.chop(1);
        if (terminated) (cr ? crlfSeen : lfSeen) = true;
        Line line = classify(text.toByteArray(), start == 0);
        line.crlf = cr;
        document.lines_.push_back(std::move(line));
        start = end + 1;
    }
    document.crlf_ = crlfSeen && !lfSeen;
    return document;
}

QByteArray IniDocument::serialize() const {
    QByteArray out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += line.crlf ? QByteArrayView("\r\n") : QByteArrayView("\n");
    }
    return out;
}

qsizetype IniDocument::findKey(QByteArrayView section, QByteArrayView key) const {
    bool inSection = false;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[size_t(i)];
        if (line.kind == Kind::Section) {
            inSection = sameName(line.name, section);
        } else if (inSection && line.kind == Kind::Key && sameName(line.name, key)) {
            return i;
        }
    }
    return -1;
}

std::optional<QByteArray> IniDocument::value(QByteArrayView section, QByteArrayView key) const {
    const qsizetype at = findKey(section, key);
    if (at < 0) return std::nullopt;
    return lines_[size_t(at)].value;
}

QList<std::pair<QByteArray, QByteArray>> IniDocument::entries(QByteArrayView section) const {
    QList<std::pair<QByteArray, QByteArray>> found;
    QSet<QByteArray> seen;
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.kind == Kind::Section) {
            inSection = sameName(line.name, section);
        } else if (inSection && line.kind == Kind::Key) {
            const QByteArray folded = line.name.toLower();
            if (seen.contains(folded)) continue;
            seen.insert(folded);
            found.emplaceBack(line.name, line.value);
        }
    }
    return found;
}

QList<QByteArray> IniDocument::values() const {
    QList<QByteArray> all;
    for (const Line& line : lines_) {
        if (line.kind == Kind::Key) all << line.value;
    }
    return all;
}

bool IniDocument::isWritableValue(QByteArrayView value) {
    return !hasControl(value);
}

bool IniDocument::setValue(QByteArrayView section, QByteArrayView key, QByteArrayView value) {
    if (hasControl(section) || hasControl(key) || !isWritableValue(value)) return false;
    Line header = classify("[" + section.toByteArray() + "]", false);
    if (header.kind != Kind::Section || header.name != section) return false;
    Line entry = classify(key.toByteArray() + "=" + value.toByteArray(), false);
    if (entry.kind != Kind::Key || entry.name != key) return false;

    header.crlf = crlf_;
    entry.crlf = crlf_;
    const qsizetype existing = findKey(section, key);
    if (existing >= 0) {
        entry.crlf = lines_[size_t(existing)].crlf;
        lines_[size_t(existing)] = std::move(entry);
        return true;
    }
    // A new key goes after the last key of the section's first block.
    qsizetype insertAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < qsizetype(lines_.size()); ++i) {
        const Line& line = lines_[size_t(i)];
        if (line.kind == Kind::Section) {
            if (insertAt >= 0) break;
            inSection = sameName(line.name, section);
            if (inSection) insertAt = i + 1;
        } else if (inSection && line.kind == Kind::Key) {
            insertAt = i + 1;
        }
    }
    if (insertAt >= 0) {
        lines_.insert(lines_.begin() + insertAt, std::move(entry));
        return true;
    }
    // A blank line sets a new section apart from what stands before it.
    if (!lines_.empty() && !trimmed(lines_.back().raw).isEmpty()) {
        Line blank;
        blank.crlf = crlf_;
        lines_.push_back(std::move(blank));
    }
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(entry));
    return true;
}

}  // namespace hoplark
