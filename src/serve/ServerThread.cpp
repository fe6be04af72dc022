#include "serve/ServerThread.h"

#include "serve/HttpServer.h"

namespace hoplark {

ServerThread::ServerThread(HttpHandler handler, const HttpLimits& limits)
    : server_(new HttpServer(std::move(handler), limits)) {
    thread_.setObjectName(QStringLiteral("http server"));
    server_->moveToThread(&thread_);
    thread_.start();
}

ServerThread::~ServerThread() {
    QMetaObject::invokeMethod(
        server_, [server = server_] { delete server; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

std::optional<QString> ServerThread::listen(const QHostAddress& address, quint16 port) {
    std::optional<QString> error;
    QMetaObject::invokeMethod(
        server_,
        [&] {
            if (server_->listen(address, port))
                port_ = server_->port();
            else
                error = server_->errorString();
        },
        Qt::BlockingQueuedConnection);
    return error;
}

int ServerThread::openConnections() const {
    int open = 0;
    QMetaObject::invokeMethod(
        server_, [&] { open = server_->openConnections(); }, Qt::BlockingQueuedConnection);
    return open;
}

QObject* ServerThread::context() const {
    return server_;
}

}  // namespace hoplark
