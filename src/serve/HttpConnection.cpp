#include "serve/HttpConnection.h"

#include <sys/socket.h>
#include <QPointer>
#include <QTcpSocket>

namespace hoplark {

HttpConnection::HttpConnection(QTcpSocket* socket, HttpHandler handler, const HttpLimits& limits,
                               QObject* parent)
    : QObject(parent), socket_(socket), handler_(std::move(handler)), limits_(limits) {
    socket_->setParent(this);
    // The kernel holds what the client sends beyond this; the head's limits are far below it.
    socket_->setReadBufferSize(HttpRequestReader::MaxHeadBytes +
                               HttpRequestReader::MaxRequestLineBytes);
    connect(socket_, &QTcpSocket::readyRead, this, &HttpConnection::readHead);
    connect(socket_, &QTcpSocket::disconnected, this, &HttpConnection::close);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (!answered_) close();
    });
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (!answered_) {
            answer(HttpResponse::text(408, "Request Timeout", "request head took too long\n"));
            deadline_.start(limits_.exchangeDeadlineMs - limits_.headDeadlineMs);
        } else {
            socket_->abort();
            close();
        }
    });
    deadline_.start(limits_.headDeadlineMs);
    if (socket_->bytesAvailable() > 0) readHead();
}

void HttpConnection::readHead() {
    if (answered_) {
        // A body or a second request is not read: the answer closes the connection.
        socket_->skip(socket_->bytesAvailable());
        return;
    }
    switch (reader_.feed(socket_->readAll())) {
        case HttpRequestReader::Status::Incomplete:
            return;
        case HttpRequestReader::Status::Refused:
            answer(HttpResponse::text(reader_.refusalCode(), reader_.refusalReason(),
                                      reader_.refusalReason() + '\n'));
            return;
        case HttpRequestReader::Status::Complete:
            break;
    }
    answered_ = true;
    headOnly_ = reader_.request().method == "HEAD";
    deadline_.start(limits_.exchangeDeadlineMs - limits_.headDeadlineMs);
    QPointer<HttpConnection> self(this);
    handler_(reader_.request(), [self](HttpResponse response) {
        if (self) self->answer(response);
    });
}

void HttpConnection::answer(const HttpResponse& response) {
    if (closed_ || writing_) return;
    answered_ = true;
    writing_ = true;
    connect(socket_, &QTcpSocket::bytesWritten, this, &HttpConnection::endWhenWritten);
    socket_->write(response.serialize(!headOnly_));
}

void HttpConnection::endWhenWritten() {
    if (socket_->bytesToWrite() > 0) return;
    // Only the sending side is shut: closing outright while the client's surplus (an oversized
    // head, a body) is still unread would reset the connection and could destroy the answer
    // before the client reads it. What the client still sends is read and dropped until it
    // closes, or until the deadline.
    ::shutdown(static_cast<int>(socket_->socketDescriptor()), SHUT_WR);
}

void HttpConnection::close() {
    if (closed_) return;
    closed_ = true;
    deadline_.stop();
    emit finished();
    deleteLater();
}

}  // namespace hoplark
