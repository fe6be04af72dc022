#pragma once

#include <QString>

namespace hoplark {

class SettingsFile;

// The echo data size used when the settings file names none, or one that cannot be sent.
inline constexpr qint32 DefaultSettingsPacketSize = 56;
// An echo's data must fit one IPv4 datagram: 65535 less the IP and ICMP headers.
inline constexpr qint32 MaxSendablePacketSize = 65507;

bool IsSendablePacketSize(qint32 size);

// What the user is told, in plain words, when the saved echo size cannot be sent.
QString PacketSizeNotice(qint32 savedSize);

// What the user is told when the settings file exists but could not be read.
QString SettingsReadNotice(const SettingsFile& file);

}  // namespace hoplark
