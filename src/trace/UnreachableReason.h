#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace hoplark {

// An ICMP destination unreachable code (type 3) in words: "network unreachable" (mtr's !N),
// "host unreachable" (!H), "protocol unreachable" (!P), "port unreachable",
// "administratively prohibited" (!X), ...; "unreachable (code N)" for a code without a name.
QString UnreachableCodeText(quint8 code);

// Why the destination is unreachable: "host unreachable from 10.0.3.1"; "unreachable from
// 10.0.3.1" while the code is not known.
QString UnreachableReasonText(const QString& router, std::optional<quint8> code);

}  // namespace hoplark
