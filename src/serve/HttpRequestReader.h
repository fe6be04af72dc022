#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace hoplark {

// The head of one HTTP/1.x request.
struct HttpRequest {
    QByteArray method;
    // The path, percent-decoded; the query is kept apart and undecoded.
    QByteArray path;
    QByteArray query;
    QByteArray version;
    // Names in lower case, values without surrounding blanks, in the order sent.
    QList<QPair<QByteArray, QByteArray>> headers;

    // The first value of the header `lowerName`, or empty.
    QByteArray header(const QByteArray& lowerName) const;
};

// Reads a request's head from bytes as they arrive, within hard limits, so that a client can
// neither make the server hold an unbounded line nor keep it guessing: a line or head too large
// is refused at once with its status, a malformed one with 400. The body, if any, is never
// read: the server answers and closes.
class HttpRequestReader {
public:
    static constexpr qsizetype MaxRequestLineBytes = 8192;
    static constexpr qsizetype MaxHeadBytes = 16384;
    static constexpr int MaxHeaderLines = 100;

    enum class Status { Incomplete, Complete, Refused };

    // Takes the next bytes and says where the head stands. After Complete or Refused further
    // bytes are ignored.
    Status feed(const QByteArray& bytes);

    Status status() const { return status_; }
    // The request, once Complete.
    const HttpRequest& request() const { return request_; }
    // The status code and reason to answer a refused head with (400, 414, 431, 505).
    int refusalCode() const { return refusalCode_; }
    const QByteArray& refusalReason() const { return refusalReason_; }

private:
    Status refuse(int code, const char* reason);
    bool readRequestLine(const QByteArray& line);
    bool readHeaderLine(const QByteArray& line);

    QByteArray buffer_;
    qsizetype consumed_ = 0;
    bool requestLineRead_ = false;
    int headerLines_ = 0;
    Status status_ = Status::Incomplete;
    HttpRequest request_;
    int refusalCode_ = 0;
    QByteArray refusalReason_;
};

}  // namespace hoplark
