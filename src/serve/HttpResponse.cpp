#include "serve/HttpResponse.h"

namespace hoplark {

QByteArray HttpResponse::serialize(bool withBody) const {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += "Connection: close\r\n";
    out += "Cache-Control: no-store\r\n";
    for (const auto& [name, value] : headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (withBody) out += body;
    return out;
}

}  // namespace hoplark
