#include "record/RecordingFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <vector>

#include "record/RecordingError.h"

namespace hoplark {

namespace {

// A recording's size on disk: the file and the log beside it while it is written.
qint64 sizeWithLogs(const QFileInfo& info) {
    qint64 size = info.size();
    for (const char* suffix : {"-wal", "-shm"}) {
        const QFileInfo log(info.filePath() + QLatin1String(suffix));
        if (log.exists()) size += log.size();
    }
    return size;
}

QString safeForFileName(const QString& target) {
    QString safe;
    for (const QChar c : target) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'.' || c == u'-' || c == u'_';
        safe += plain ? c : u'_';
    }
    if (safe.isEmpty() || safe.startsWith(u'.')) safe.prepend(u'_');
    return safe.left(64);
}

}  // namespace

QString RecordingFolder::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/hoplark/recordings");
}

QString RecordingFolder::newRecordingPath(const QString& target, qint64 startedUtcUs) const {
    if (!QDir().mkpath(path_))
        throw RecordingError(
            RecordingError::Kind::Io,
            QStringLiteral("Unable to create the recordings folder %1.").arg(path_));
    const QString stamp = QDateTime::fromMSecsSinceEpoch(startedUtcUs / 1000)
                              .toLocalTime()
                              .toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QString base = QDir(path_).filePath(safeForFileName(target) + u'_' + stamp);
    QString candidate = base + QLatin1String(Extension);
    auto taken = [](const QString& name) {
        return QFileInfo::exists(name) || QFileInfo::exists(name + QStringLiteral("-wal"));
    };
    for (int n = 2; taken(candidate); ++n)
        candidate = base + QStringLiteral("-%1").arg(n) + QLatin1String(Extension);
    return candidate;
}

qint64 RecordingFolder::totalBytes() const {
    qint64 total = 0;
    const QFileInfoList files =
        QDir(path_).entryInfoList({QStringLiteral("*") + QLatin1String(Extension)}, QDir::Files);
    for (const QFileInfo& info : files)
        total += sizeWithLogs(info);
    return total;
}

int RecordingFolder::enforceCap(qint64 maxBytes, const QString& keep) const {
    QFileInfoList files =
        QDir(path_).entryInfoList({QStringLiteral("*") + QLatin1String(Extension)}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        if (a.lastModified() != b.lastModified()) return a.lastModified() < b.lastModified();
        return a.fileName() < b.fileName();
    });
    qint64 total = 0;
    for (const QFileInfo& info : files)
        total += sizeWithLogs(info);
    const QString kept = keep.isEmpty() ? QString() : QFileInfo(keep).absoluteFilePath();
    int removed = 0;
    for (const QFileInfo& info : files) {
        if (total <= maxBytes) break;
        if (info.absoluteFilePath() == kept) continue;
        const qint64 size = sizeWithLogs(info);
        if (!QFile::remove(info.filePath())) continue;
        QFile::remove(info.filePath() + QStringLiteral("-wal"));
        QFile::remove(info.filePath() + QStringLiteral("-shm"));
        total -= size;
        ++removed;
    }
    return removed;
}

}  // namespace hoplark
