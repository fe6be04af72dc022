#include "app/IniDocument.h"

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

QByteArray IniDocument::foldedKey(QByteArrayView section, QByteArrayView key) {
    // No name can hold a line feed: it separates the two without ambiguity.
    QByteArray folded;
    folded.reserve(section.size() + key.size() + 1);
    folded += section;
    folded += '\n';
    folded += key;
    return folded.toLower();
}

qsizetype IniDocument::linkAfter(qsizetype after, Line line) {
    const auto added = qsizetype(lines_.size());
    lines_.push_back(std::move(line));
    if (after < 0) {
        next_.push_back(first_);
        first_ = added;
    } else {
        next_.push_back(next_[size_t(after)]);
        next_[size_t(after)] = added;
    }
    if (after == last_) last_ = added;
    return added;
}

IniDocument IniDocument::parse(QByteArrayView bytes) {
    IniDocument document;
    qsizetype start = 0;
    bool crlfSeen = false;
    bool lfSeen = false;
    QByteArray section;  // folded name of the section being read
    bool inSection = false;
    bool inFirstBlock = false;  // the first block of lines under that section's name
    const qsizetype lineCount = bytes.count('\n') + 1;
    document.lines_.reserve(size_t(lineCount));
    document.next_.reserve(size_t(lineCount));
    document.keys_.reserve(lineCount);
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
        const Kind kind = line.kind;
        const QByteArray name = line.name;
        document.append(std::move(line));
        const qsizetype at = document.last_;
        if (kind == Kind::Section) {
            section = name.toLower();
            inSection = true;
            inFirstBlock = !document.sectionEnds_.contains(section);
            if (inFirstBlock) document.sectionEnds_.insert(section, at);
        } else if (kind == Kind::Key && inSection) {
            // The first occurrence wins, also across repeated sections.
            const QByteArray folded = foldedKey(section, name);
            if (document.keys_.contains(folded))
                document.lines_[size_t(at)].shadowed = true;
            else
                document.keys_.insert(folded, at);
            if (inFirstBlock) document.sectionEnds_.insert(section, at);
        }
        start = end + 1;
    }
    document.crlf_ = crlfSeen && !lfSeen;
    return document;
}

QByteArray IniDocument::serialize() const {
    qsizetype size = 0;
    for (const Line& line : lines_)
        size += line.raw.size() + 2;
    QByteArray out;
    out.reserve(size);
    for (qsizetype i = first_; i >= 0; i = next_[size_t(i)]) {
        const Line& line = lines_[size_t(i)];
        out += line.raw;
        out += line.crlf ? QByteArrayView("\r\n") : QByteArrayView("\n");
    }
    return out;
}

std::optional<QByteArray> IniDocument::value(QByteArrayView section, QByteArrayView key) const {
    const auto found = keys_.constFind(foldedKey(section, key));
    if (found == keys_.cend()) return std::nullopt;
    return lines_[size_t(*found)].value;
}

QList<std::pair<QByteArray, QByteArray>> IniDocument::entries(QByteArrayView section) const {
    QList<std::pair<QByteArray, QByteArray>> found;
    bool inSection = false;
    for (qsizetype i = first_; i >= 0; i = next_[size_t(i)]) {
        const Line& line = lines_[size_t(i)];
        if (line.kind == Kind::Section) {
            inSection = sameName(line.name, section);
        } else if (inSection && line.kind == Kind::Key && !line.shadowed) {
            found.emplaceBack(line.name, line.value);
        }
    }
    return found;
}

QList<QByteArray> IniDocument::values() const {
    QList<QByteArray> all;
    for (qsizetype i = first_; i >= 0; i = next_[size_t(i)]) {
        const Line& line = lines_[size_t(i)];
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
    const QByteArray folded = foldedKey(section, key);
    if (const auto existing = keys_.constFind(folded); existing != keys_.cend()) {
        Line& line = lines_[size_t(*existing)];
        entry.crlf = line.crlf;
        line = std::move(entry);
        return true;
    }
    // A new key goes after the last key of the section's first block.
    const QByteArray sectionName = section.toByteArray().toLower();
    if (const auto end = sectionEnds_.find(sectionName); end != sectionEnds_.end()) {
        const qsizetype at = linkAfter(*end, std::move(entry));
        *end = at;
        keys_.insert(folded, at);
        return true;
    }
    // A blank line sets a new section apart from what stands before it.
    if (last_ >= 0 && !trimmed(lines_[size_t(last_)].raw).isEmpty()) {
        Line blank;
        blank.crlf = crlf_;
        append(std::move(blank));
    }
    append(std::move(header));
    append(std::move(entry));
    sectionEnds_.insert(sectionName, last_);
    keys_.insert(folded, last_);
    return true;
}

}  // namespace hoplark
