#include "serve/HttpServer.h"

#include <QTcpSocket>

#include "serve/HttpConnection.h"

namespace hoplark {

HttpServer::HttpServer(HttpHandler handler, const HttpLimits& limits, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), limits_(limits) {
    // A burst of clients waits in the kernel's queue rather than being refused by it.
    server_.setListenBacklogSize(limits_.maxConnections);
    server_.setMaxPendingConnections(limits_.maxConnections);
    connect(&server_, &QTcpServer::pendingConnectionAvailable, this, &HttpServer::acceptPending);
}

bool HttpServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void HttpServer::acceptPending() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (open_ >= limits_.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        auto* connection = new HttpConnection(socket, handler_, limits_, this);
        connect(connection, &HttpConnection::finished, this, [this] { --open_; });
    }
}

}  // namespace hoplark
