// The settings file reader over arbitrary bytes. Writing what was read and reading it again
// gives the same values; a write the writer accepts reads back exactly and changes no other
// key; a refused write changes no byte. The input's last bytes also serve as the written value,
// so values with control characters, brackets and equals signs are tried.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>

#include "app/IniDocument.h"
#include "app/SettingsFile.h"

namespace {

using hoplark::IniDocument;

const QByteArray Sections[] = {"History", "Position", "Warnings", "Advanced", "x"};
const QByteArray Keys[] = {"Count", "Item0", "Left", "PacketSize", "k"};

bool sameValues(const IniDocument& a, const IniDocument& b) {
    for (const QByteArray& section : Sections) {
        if (a.entries(section) != b.entries(section)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IniDocument document = IniDocument::parse(bytes);
    const QByteArray written = document.serialize();
    const IniDocument reread = IniDocument::parse(written);
    if (!sameValues(document, reread)) std::abort();
    // Serialising is stable once the line ends are settled.
    if (reread.serialize() != written) std::abort();
    for (const QByteArray& value : document.values()) {
        if (hoplark::SettingsFile::decodeValue(value).isNull() && !value.isEmpty()) std::abort();
    }

    const QByteArrayView value = bytes.last(std::min<qsizetype>(bytes.size(), 24));
    const QByteArray& section = Sections[size % std::size(Sections)];
    const QByteArray& key = Keys[(size / 7) % std::size(Keys)];
    IniDocument changed = document;
    const bool accepted = changed.setValue(section, key, value);
    const QByteArray after = changed.serialize();
    if (!accepted) {
        if (after != written) std::abort();
        if (IniDocument::isWritableValue(value)) std::abort();
        return 0;
    }
    const IniDocument back = IniDocument::parse(after);
    const auto readBack = back.value(section, key);
    // Values are trimmed of blanks on reading, as profile files are.
    if (!readBack || *readBack != value.trimmed()) std::abort();
    for (const QByteArray& other : Sections) {
        if (other == section) continue;
        if (back.entries(other) != document.entries(other)) std::abort();
    }
    return 0;
}
