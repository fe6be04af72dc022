#pragma once

// Plain-socket HTTP for tests, from the calling thread (and its network namespace).
#include <QByteArray>
#include <QTcpSocket>
#include <memory>
#include <vector>

namespace hoplark::test {

// Everything the peer sends until it closes (or stays silent for `waitMs`).
inline QByteArray readUntilClosed(QTcpSocket& socket, int waitMs = 20000) {
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(waitMs))
        answer += socket.readAll();
    return answer + socket.readAll();
}

// Connects to 127.0.0.1:`port`, sends `bytes` and reads the answer until the server closes;
// empty when no connection was made.
inline QByteArray exchange(quint16 port, const QByteArray& bytes, int waitMs = 20000) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(waitMs)) return {};
    socket.write(bytes);
    socket.waitForBytesWritten(waitMs);
    return readUntilClosed(socket, waitMs);
}

// `count` clients connected to 127.0.0.1:`port` that have sent nothing yet; fewer when a
// connection could not be made.
inline std::vector<std::unique_ptr<QTcpSocket>> connectClients(quint16 port, int count) {
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < count; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket->waitForConnected(10000)) break;
        clients.push_back(std::move(socket));
    }
    return clients;
}

// How many of `clients` get an answer beginning with `statusLine` before their server closes.
inline int answeredWith(const std::vector<std::unique_ptr<QTcpSocket>>& clients,
                        const QByteArray& statusLine) {
    int answered = 0;
    for (const auto& socket : clients)
        if (readUntilClosed(*socket).startsWith(statusLine)) ++answered;
    return answered;
}

}  // namespace hoplark::test
