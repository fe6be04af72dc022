#include "app/SettingsNotices.h"

#include <QDir>
#include <QFileInfo>

#include "app/SettingsFile.h"

namespace hoplark {

bool IsSendablePacketSize(qint32 size) {
    return size >= 0 && size <= MaxSendablePacketSize;
}

QString PacketSizeNotice(qint32 savedSize) {
    return QStringLiteral(
               "The settings file asks for echoes carrying %1 data bytes ([Advanced] PacketSize), "
               "which cannot be sent: an echo carries 0 to %2 data bytes. Hoplark uses %3.")
        .arg(savedSize)
        .arg(MaxSendablePacketSize)
        .arg(DefaultSettingsPacketSize);
}

QString SettingsReadNotice(const SettingsFile& file) {
    return QStringLiteral(
               "The settings file %1 could not be read (%2). Hoplark starts with its default "
               "settings and leaves that file as it is.")
        .arg(QDir::toNativeSeparators(QFileInfo(file.path()).absoluteFilePath()), file.readError());
}

}  // namespace hoplark
