#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <functional>

#include "serve/HttpRequestReader.h"

namespace hoplark {

// One answer of the server. Every answer closes its connection after it.
struct HttpResponse {
    int code = 200;
    QByteArray reason = "OK";
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static HttpResponse text(int code, const QByteArray& reason, const QByteArray& body) {
        HttpResponse response;
        response.code = code;
        response.reason = reason;
        response.body = body;
        return response;
    }
    // The bytes on the wire; without the body for a HEAD request.
    QByteArray serialize(bool withBody) const;
};

// How long a client may take and how many may be connected at once. A client gets headDeadlineMs
// from connecting to send its request head (one that trickles a byte at a time is cut off as
// surely as one that sends nothing) and exchangeDeadlineMs for the whole exchange, its reading
// of the answer included. Past maxConnections open at once a new client is closed at once, so a
// flood costs a bounded amount of memory.
struct HttpLimits {
    int headDeadlineMs = 10000;
    int exchangeDeadlineMs = 30000;
    int maxConnections = 1024;
};

// Answers a request; called once, on the server's thread, now or later. A reply to a client
// that has gone is dropped.
using HttpReply = std::function<void(HttpResponse)>;
// Decides the answer to a complete request head.
using HttpHandler = std::function<void(const HttpRequest&, HttpReply)>;

}  // namespace hoplark
