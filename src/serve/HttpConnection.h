#pragma once

#include <QObject>
#include <QTimer>

#include "serve/HttpRequestReader.h"
#include "serve/HttpResponse.h"

class QTcpSocket;

namespace hoplark {

// One client of the HTTP server: reads one request head, answers it through the handler and
// closes, within the deadlines of `limits`.
class HttpConnection : public QObject {
    Q_OBJECT

public:
    // Takes ownership of `socket`.
    HttpConnection(QTcpSocket* socket, HttpHandler handler, const HttpLimits& limits,
                   QObject* parent = nullptr);

signals:
    // The connection is over; it deletes itself later.
    void finished();

private:
    void readHead();
    void answer(const HttpResponse& response);
    void endWhenWritten();
    void close();

    QTcpSocket* socket_;
    HttpHandler handler_;
    HttpLimits limits_;
    HttpRequestReader reader_;
    QTimer deadline_;
    bool headOnly_ = false;
    bool answered_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace hoplark
