#include "serve/HttpRequestReader.h"

namespace hoplark {

namespace {

// RFC 9110's token characters, which a method and a header name are made of.
bool isToken(const QByteArray& text) {
    if (text.isEmpty()) return false;
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !QByteArray("!#$%&'*+-.^_`|~").contains(c)) return false;
    }
    return true;
}

bool isVisibleAscii(const QByteArray& text) {
    for (const char c : text)
        if (c <= 0x20 || c >= 0x7f) return false;
    return true;
}

}  // namespace

QByteArray HttpRequest::header(const QByteArray& lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName) return value;
    return {};
}

HttpRequestReader::Status HttpRequestReader::refuse(int code, const char* reason) {
    refusalCode_ = code;
    refusalReason_ = reason;
    buffer_.clear();
    return status_ = Status::Refused;
}

HttpRequestReader::Status HttpRequestReader::feed(const QByteArray& bytes) {
    if (status_ != Status::Incomplete) return status_;
    buffer_ += bytes;
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', consumed_);
        if (end < 0) break;
        QByteArray line = buffer_.mid(consumed_, end - consumed_);
        if (line.endsWith('\r')) line.chop(1);
        consumed_ = end + 1;
        if (!requestLineRead_) {
            // Blank lines before a request are allowed and skipped.
            if (line.isEmpty()) continue;
            if (line.size() > MaxRequestLineBytes) return refuse(414, "URI Too Long");
            if (!readRequestLine(line)) return status_;
            requestLineRead_ = true;
            continue;
        }
        if (consumed_ > MaxHeadBytes) return refuse(431, "Request Header Fields Too Large");
        if (line.isEmpty()) {
            buffer_.clear();
            return status_ = Status::Complete;
        }
        if (++headerLines_ > MaxHeaderLines) return refuse(431, "Request Header Fields Too Large");
        if (!readHeaderLine(line)) return status_;
    }
    // What waits for its line end may not grow past the limits either.
    if (!requestLineRead_ && buffer_.size() - consumed_ > MaxRequestLineBytes)
        return refuse(414, "URI Too Long");
    if (buffer_.size() > MaxHeadBytes + MaxRequestLineBytes ||
        (requestLineRead_ && buffer_.size() > MaxHeadBytes))
        return refuse(431, "Request Header Fields Too Large");
    return status_;
}

bool HttpRequestReader::readRequestLine(const QByteArray& line) {
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !isVisibleAscii(parts[1])) {
        refuse(400, "Bad Request");
        return false;
    }
    if (!parts[2].startsWith("HTTP/")) {
        refuse(400, "Bad Request");
        return false;
    }
    if (parts[2] != "HTTP/1.1" && parts[2] != "HTTP/1.0") {
        refuse(505, "HTTP Version Not Supported");
        return false;
    }
    QByteArray target = parts[1];
    // The absolute form a proxy would send names this server too; only its path matters.
    if (target.startsWith("http://")) {
        const qsizetype slash = target.indexOf('/', 7);
        target = slash < 0 ? QByteArray("/") : target.mid(slash);
    }
    if (!target.startsWith('/')) {
        refuse(400, "Bad Request");
        return false;
    }
    const qsizetype question = target.indexOf('?');
    request_.method = parts[0];
    request_.version = parts[2];
    request_.query = question < 0 ? QByteArray() : target.mid(question + 1);
    request_.path = QByteArray::fromPercentEncoding(question < 0 ? target : target.left(question));
    return true;
}

bool HttpRequestReader::readHeaderLine(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    // A folded continuation line (leading blank) is obsolete and refused, as RFC 9112 allows.
    if (colon <= 0 || !isToken(line.left(colon))) {
        refuse(400, "Bad Request");
        return false;
    }
    request_.headers.append({line.left(colon).toLower(), line.mid(colon + 1).trimmed()});
    return true;
}

}  // namespace hoplark
