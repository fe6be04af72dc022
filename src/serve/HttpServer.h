#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include "serve/HttpResponse.h"

namespace hoplark {

// A small HTTP/1.1 server for GET and HEAD: every connection carries one request and is closed
// after its answer, within `limits`. It lives on a thread of its own (see ServerThread).
class HttpServer : public QObject {
    Q_OBJECT

public:
    HttpServer(HttpHandler handler, const HttpLimits& limits, QObject* parent = nullptr);

    // False with errorString() when the address cannot be listened on.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return server_.errorString(); }
    quint16 port() const { return server_.serverPort(); }
    int openConnections() const { return open_; }

private:
    void acceptPending();

    HttpHandler handler_;
    HttpLimits limits_;
    // A child, so that it moves to the server's thread with it.
    QTcpServer server_{this};
    int open_ = 0;
};

}  // namespace hoplark
