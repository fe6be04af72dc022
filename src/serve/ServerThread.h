#pragma once

#include <QHostAddress>
#include <QString>
#include <QThread>
#include <optional>

#include "serve/HttpResponse.h"

namespace hoplark {

class HttpServer;

// Runs an HttpServer on a thread of its own, so that no client, however slow, holds up the
// thread that probes.
class ServerThread {
public:
    explicit ServerThread(HttpHandler handler, const HttpLimits& limits = {});
    // Closes every connection and ends the thread.
    ~ServerThread();
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // Starts listening; the error when it cannot.
    std::optional<QString> listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return port_; }
    // Connections open now; safe from any thread.
    int openConnections() const;
    // The object replies are posted to: it lives on the server's thread.
    QObject* context() const;

private:
    QThread thread_;
    HttpServer* server_;
    quint16 port_ = 0;
};

}  // namespace hoplark
