#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace hoplark {

// An ICMP destination unreachable code (type 3) in words: "network unreachable" (mtr's !N),
// "host unreachable" (!H), "protocol unreachable" (!P), "port unreachable",
// "administratively prohibited" (!X), ...; "unreachable (code N)" for a code without a name.
QString UnreachableCodeText(quint8 code);

// The destination unreachable code of an ICMP(v6) message of this type and code, in ICMPv4
// numbering for both families so that one set of words serves both: ICMPv6's no route is 0
// (network unreachable), address unreachable 1 (host), port unreachable 3, and administratively
// prohibited, a failed source policy and a reject route 13 (administratively prohibited).
// Nothing for any other message.
std::optional<quint8> UnreachableCodeOf(bool icmpv6, quint8 type, quint8 code);

// Why the destination is unreachable: "host unreachable from 10.0.3.1"; "unreachable from
// 10.0.3.1" while the code is not known.
QString UnreachableReasonText(const QString& router, std::optional<quint8> code);

}  // namespace hoplark
