#include "app/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"

namespace hoplark {

namespace {

// Strings longer than this are cut on reading, as the profile functions do.
constexpr qsizetype MaxStringLength = 1023;

// Far beyond any settings file; a bigger one is something else and is left alone.
constexpr qint64 MaxFileBytes = 16 * 1024 * 1024;

// Symbolic links are followed to the file they end at, so that writing replaces that file and
// not the link (dotfiles kept in a repository and linked stay linked).
QString finalTarget(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(current);
        if (!info.isSymLink()) return current;
        current = info.symLinkTarget();
    }
    return current;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

SettingsFile::SettingsFile(const QString& path) : path_(path) {
    load();
}

void SettingsFile::load() {
    const QByteArray name = QFile::encodeName(path_);
    // Non-blocking, so that a FIFO put where the file should be cannot hang the start.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        // A missing file is the normal first start; everything else is a file we cannot read.
        if (errno != ENOENT && errno != ENOTDIR) readError_ = systemError(errno);
        return;
    }
    QByteArray bytes;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        readError_ = systemError(errno);
    } else if (!S_ISREG(status.st_mode)) {
        readError_ = QStringLiteral("it is not a regular file");
    } else if (status.st_size > MaxFileBytes) {
        readError_ = QStringLiteral("it is larger than %1 MiB").arg(MaxFileBytes >> 20);
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                readError_ = systemError(errno);
                break;
            }
            if (got == 0) break;
            bytes.append(buffer, got);
            if (bytes.size() > MaxFileBytes) {
                readError_ = QStringLiteral("it is larger than %1 MiB").arg(MaxFileBytes >> 20);
                break;
            }
        }
    }
    ::close(fd);
    if (readFailed()) return;
    document_ = IniDocument::parse(bytes);
    for (const QByteArray& value : document_.values()) {
        const QString text = decodeValue(value);
        if (text.toUtf8() != value) foreignBytes_.insert(text, value);
    }
}

QString SettingsFile::decodeValue(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes);
}

QString SettingsFile::ReadString(const QString& section, const QString& key,
                                 const QString& fallback) const {
    const auto value = document_.value(section.toUtf8(), key.toUtf8());
    if (!value) return fallback.left(MaxStringLength);
    return decodeValue(*value).left(MaxStringLength);
}

qint32 SettingsFile::ReadInteger(const QString& section, const QString& key,
                                 qint32 fallback) const {
    const auto value = document_.value(section.toUtf8(), key.toUtf8());
    if (!value) return fallback;
    return integerTextOr(decodeValue(*value), fallback, HexPrefixes::DollarOrZeroX);
}

bool SettingsFile::ReadBool(const QString& section, const QString& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

QStringList SettingsFile::ReadStringList(const QString& section, const QString& prefix,
                                         qint32 count) const {
    const QByteArray sectionName = section.toUtf8();
    const QByteArray prefixName = prefix.toUtf8();
    std::map<qint32, QString> found;
    for (const auto& [key, value] : document_.entries(sectionName)) {
        if (key.size() <= prefixName.size() ||
            QByteArrayView(key).first(prefixName.size()).compare(prefixName, Qt::CaseInsensitive))
            continue;
        // Only the index as decimal text names an item: "Item1", never "Item01" or "Item+1".
        const QByteArrayView index = QByteArrayView(key).sliced(prefixName.size());
        if (index.size() > 1 && index.front() == '0') continue;
        if (!std::all_of(index.begin(), index.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        bool ok = false;
        const qint32 i = index.toInt(&ok);
        if (!ok || i >= count) continue;
        const QString text = decodeValue(value).left(MaxStringLength);
        if (!text.isEmpty()) found.emplace(i, text);
    }
    QStringList items;
    for (const auto& [index, value] : found)
        items << value;
    return items;
}

bool SettingsFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const auto foreign = foreignBytes_.constFind(value);
    const QByteArray bytes = foreign != foreignBytes_.cend() ? *foreign : value.toUtf8();
    return document_.setValue(section.toUtf8(), key.toUtf8(), bytes);
}

void SettingsFile::WriteInteger(const QString& section, const QString& key, qint32 value) {
    WriteString(section, key, QString::number(value));
}

void SettingsFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsFile::commit() {
    const QString fullPath = QFileInfo(path_).absoluteFilePath();
    const auto fail = [&](const QString& why) {
        QString message =
            QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(fullPath));
        if (!why.isEmpty()) message += QStringLiteral(": ") + why;
        throw HoplarkError(message);
    };
    // Writing what was read of a file read only in part would lose the rest.
    if (readFailed()) fail(QStringLiteral("it could not be read (%1)").arg(readError_));
    const QString target = finalTarget(fullPath);
    // QSaveFile writes a temporary file beside the target and renames it over the old one
    // only when every byte was written.
    QDir().mkpath(QFileInfo(target).absolutePath());
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) fail({});
    const QByteArray bytes = document_.serialize();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        fail({});
    }
    if (!file.commit()) fail({});
}

}  // namespace hoplark
