// The HTTP server on its own thread, met by well-behaved and hostile clients over loopback.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

#include "serve/HttpTestClient.h"
#include "serve/ServerThread.h"

namespace hoplark {
namespace {

using test::exchange;

class ServerThreadTest : public testing::Test {
protected:
    void start(const HttpLimits& limits = {}) {
        server_ = std::make_unique<ServerThread>(
            [this](const HttpRequest& request, HttpReply reply) {
                ++requests_;
                reply(HttpResponse::text(200, "OK", "path " + request.path + '\n'));
            },
            limits);
        ASSERT_FALSE(server_->listen(QHostAddress(QHostAddress::LocalHost), 0));
        port_ = server_->port();
    }

    std::unique_ptr<ServerThread> server_;
    quint16 port_ = 0;
    std::atomic<int> requests_ = 0;
};

TEST_F(ServerThreadTest, AnswersAndRefusesWithTheRightStatus) {
    start();
    const QByteArray ok = exchange(port_, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(ok.startsWith("HTTP/1.1 200 OK\r\n")) << ok.toStdString();
    EXPECT_TRUE(ok.contains("Content-Length: 14\r\n"));
    EXPECT_TRUE(ok.contains("Connection: close\r\n"));
    EXPECT_TRUE(ok.endsWith("\r\n\r\npath /metrics\n"));
    // HEAD has the same head, no body.
    const QByteArray head = exchange(port_, "HEAD /metrics HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(
        head.endsWith("Content-Length: 14\r\nConnection: close\r\nCache-Control: "
                      "no-store\r\n\r\n"))
        << head.toStdString();

    EXPECT_TRUE(exchange(port_, "\x01\x02garbage\r\n\r\n").startsWith("HTTP/1.1 400 "));
    EXPECT_TRUE(exchange(port_, "GET /" + QByteArray(20000, 'a')).startsWith("HTTP/1.1 414 "));
    EXPECT_TRUE(exchange(port_, "GET / HTTP/1.1\r\nA: " + QByteArray(40000, 'b'))
                    .startsWith("HTTP/1.1 431 "));
    EXPECT_EQ(requests_, 2);
}

TEST_F(ServerThreadTest, CutsOffSlowClientsWhileServingOthers) {
    start({.headDeadlineMs = 300, .exchangeDeadlineMs = 2000, .maxConnections = 1024});
    // Clients that send nothing, or a head a byte at a time, hold their connections open.
    const auto slow = test::connectClients(port_, 10);
    ASSERT_EQ(slow.size(), 10u);
    for (size_t i = 0; i < slow.size(); i += 2) {
        slow[i]->write("GET /x HT");
        slow[i]->flush();
    }
    // Others are served meanwhile.
    EXPECT_TRUE(exchange(port_, "GET /healthz HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 "));
    // Every slow client is told off and closed at its deadline.
    EXPECT_EQ(test::answeredWith(slow, "HTTP/1.1 408 "), 10);
    EXPECT_EQ(requests_, 1);
}

TEST_F(ServerThreadTest, ServesTwoHundredClientsAtOnce) {
    start({.headDeadlineMs = 20000, .exchangeDeadlineMs = 40000, .maxConnections = 250});
    const auto clients = test::connectClients(port_, 200);
    ASSERT_EQ(clients.size(), 200u);
    for (const auto& socket : clients)
        socket->write("GET /c HTTP/1.1\r\n\r\n");
    EXPECT_EQ(test::answeredWith(clients, "HTTP/1.1 200 "), 200);
}

TEST_F(ServerThreadTest, ClosesNewClientsPastTheConnectionLimit) {
    start({.headDeadlineMs = 20000, .exchangeDeadlineMs = 40000, .maxConnections = 5});
    auto idle = test::connectClients(port_, 5);
    ASSERT_EQ(idle.size(), 5u);
    const QDeadlineTimer bound(20000);
    while (server_->openConnections() < 5 && !bound.hasExpired())
        QThread::msleep(5);
    EXPECT_EQ(exchange(port_, "GET /late HTTP/1.1\r\n\r\n"), QByteArray());
    // Once they go, new clients are served again.
    idle.clear();
    const QDeadlineTimer drained(20000);
    while (server_->openConnections() > 0 && !drained.hasExpired())
        QThread::msleep(5);
    EXPECT_TRUE(exchange(port_, "GET / HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 "));
}

}  // namespace
}  // namespace hoplark
