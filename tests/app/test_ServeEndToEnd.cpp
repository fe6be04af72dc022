// The serving mode as an operator runs it: the real program as nobody in a namespace chain,
// scraped over HTTP, checked by Prometheus's own tools and collected by a real Prometheus, while
// hostile clients try to hold the server up.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <functional>
#include <memory>

#include "app/NobodyProgram.h"
#include "record/RecordingReader.h"
#include "serve/HttpTestClient.h"
#include "support/NetnsChain.h"
#include "support/QtPrinters.h"
#include "support/ScopedNetns.h"

namespace hoplark {
namespace {

constexpr quint16 ServePort = 9787;
constexpr quint16 PrometheusPort = 9090;
constexpr int DelayMs = 200;

struct HttpResult {
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One request over a fresh connection from the calling thread's namespace; status 0 when no
// answer came.
HttpResult get(quint16 port, const QByteArray& path, const QByteArray& extraHeaders = {},
               const QByteArray& method = "GET") {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) return {};
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                 extraHeaders + "\r\n");
    const QByteArray all = test::readUntilClosed(socket);
    HttpResult result;
    const qsizetype split = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/1.") || split < 0) return result;
    result.status = all.mid(9, 3).toInt();
    result.head = all.left(split);
    result.body = all.mid(split + 4);
    return result;
}

// Waits for `condition`, giving up after `boundMs`.
bool waitFor(const std::function<bool()>& condition, int boundMs) {
    const QDeadlineTimer deadline(boundMs);
    while (!deadline.hasExpired()) {
        if (condition()) return true;
        QThread::msleep(100);
    }
    return condition();
}

// A sample's value in the classic text, or -1 when no line starts with `series`.
double sampleValue(const QByteArray& text, const QByteArray& series) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series + ' ')) return line.mid(series.size() + 1).toDouble();
    return -1;
}

// The result vector of an instant query to the Prometheus in the calling thread's namespace.
QJsonArray prometheusQuery(const QString& query) {
    const HttpResult result =
        get(PrometheusPort, "/api/v1/query?query=" + QUrl::toPercentEncoding(query));
    if (result.status != 200) return {};
    return QJsonDocument::fromJson(result.body).object()["data"].toObject()["result"].toArray();
}

QSet<QString> keysOf(const QJsonObject& object) {
    const QStringList keys = object.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

TEST(ServeEndToEnd, ServesTwoPathsToPrometheusWhileHostileClientsCannotHoldItUp) {
    HOPLARK_REQUIRE_NETNS();
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    ASSERT_FALSE(promtool.isEmpty() || prometheus.isEmpty())
        << "the Debian package prometheus is not installed";
    test::NobodyProgram program;
    ASSERT_TRUE(program.isValid());
    test::NetnsChain chain(
        {.routers = 2, .silentRouters = {}, .pingGroupOpen = true, .hostNames = {}});
    const QString farTarget = QString::fromStdString(chain.targetAddress());
    const QString nearTarget = QString::fromStdString(chain.routerAddress(2));
    QTemporaryDir records;
    ASSERT_TRUE(records.isValid());
    QFile::setPermissions(records.path(), QFileDevice::ReadOther | QFileDevice::WriteOther |
                                              QFileDevice::ExeOther | QFileDevice::ReadOwner |
                                              QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcess server;
    server.start(QStringLiteral("ip"),
                 program.inNamespace(
                     chain.clientNamespace(),
                     {QStringLiteral("--serve"), QStringLiteral("127.0.0.1:%1").arg(ServePort),
                      QStringLiteral("--target"), farTarget, QStringLiteral("--target"), nearTarget,
                      QStringLiteral("--delay"), QStringLiteral("0.2"), QStringLiteral("--no-dns"),
                      QStringLiteral("--record-dir"), records.path()},
                     true));
    ASSERT_TRUE(server.waitForStarted());
    const auto stopServer = [&server] {
        if (server.state() == QProcess::NotRunning) return;
        server.terminate();
        if (!server.waitForFinished(30000)) {
            server.kill();
            server.waitForFinished();
        }
    };
    struct Stop {
        std::function<void()> stop;
        ~Stop() { stop(); }
    } stopAtEnd{stopServer};

    QTemporaryDir prometheusDir;
    QProcess collector;
    {
        test::ScopedNetns inside(chain.clientNamespace());
        ASSERT_TRUE(waitFor([] { return get(ServePort, "/healthz").status == 200; }, 30000))
            << server.readAllStandardError().toStdString();

        // Both paths are traced: a few rounds each.
        const QByteArray farLabels =
            "{target=\"" + farTarget.toUtf8() + "\",address=\"" + farTarget.toUtf8() + "\"}";
        const QByteArray nearLabels =
            "{target=\"" + nearTarget.toUtf8() + "\",address=\"" + nearTarget.toUtf8() + "\"}";
        QByteArray metrics;
        ASSERT_TRUE(waitFor(
            [&] {
                metrics = get(ServePort, "/metrics").body;
                return sampleValue(metrics, "hoplark_rounds_total" + farLabels) >= 5 &&
                       sampleValue(metrics, "hoplark_rounds_total" + nearLabels) >= 5;
            },
            60000))
            << metrics.toStdString();
        EXPECT_EQ(sampleValue(metrics, "hoplark_path_hops" + farLabels), 3);
        EXPECT_EQ(sampleValue(metrics, "hoplark_path_hops" + nearLabels), 2);
        EXPECT_EQ(sampleValue(metrics, "hoplark_destination_loss_ratio" + farLabels), 0);
        EXPECT_TRUE(metrics.contains("hoplark_hop_probes_sent_total{target=\"" +
                                     farTarget.toUtf8() + "\",address=\"" + farTarget.toUtf8() +
                                     "\",hop=\"3\",responder=\"" + farTarget.toUtf8() + "\"}"))
            << metrics.toStdString();

        QProcess check;
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        ASSERT_TRUE(check.waitForStarted());
        check.write(metrics);
        check.closeWriteChannel();
        ASSERT_TRUE(check.waitForFinished(60000));
        EXPECT_EQ(check.exitCode(), 0)
            << check.readAll().toStdString() << check.readAllStandardError().toStdString();
        const HttpResult open =
            get(ServePort, "/metrics", "Accept: application/openmetrics-text;version=1.0.0\r\n");
        EXPECT_TRUE(open.head.contains("application/openmetrics-text"));
        EXPECT_TRUE(open.body.endsWith("# EOF\n"));

        // A real Prometheus collects every second from the same namespace.
        QFile config(prometheusDir.filePath(QStringLiteral("prometheus.yml")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(
            "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
            "scrape_configs:\n  - job_name: hoplark\n    static_configs:\n"
            "      - targets: ['127.0.0.1:" +
            QByteArray::number(ServePort) + "']\n");
        config.close();
        collector.setProcessChannelMode(QProcess::MergedChannels);
        collector.start(prometheus,
                        {QStringLiteral("--config.file=") + config.fileName(),
                         QStringLiteral("--storage.tsdb.path=") + prometheusDir.filePath("data"),
                         QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(PrometheusPort)});
        ASSERT_TRUE(collector.waitForStarted());

        // The JSON is the report's document: the same keys at the top and per hop, the same hops.
        const HttpResult served = get(ServePort, "/api/v1/traces/" + farTarget.toUtf8());
        ASSERT_EQ(served.status, 200);
        EXPECT_TRUE(served.head.contains("Content-Type: application/json"));
        const QJsonObject servedDocument = QJsonDocument::fromJson(served.body).object();
        QProcess report;
        report.start(
            QStringLiteral("ip"),
            program.inNamespace(
                chain.clientNamespace(),
                {QStringLiteral("--report"), farTarget, QStringLiteral("--count"),
                 QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("0.2"),
                 QStringLiteral("--no-dns"), QStringLiteral("--format"), QStringLiteral("json")},
                true));
        ASSERT_TRUE(report.waitForFinished(60000));
        const QJsonObject reported =
            QJsonDocument::fromJson(report.readAllStandardOutput()).object();
        EXPECT_EQ(keysOf(servedDocument), keysOf(reported));
        const QJsonArray servedHops = servedDocument["hops"].toArray();
        const QJsonArray reportedHops = reported["hops"].toArray();
        ASSERT_EQ(servedHops.size(), reportedHops.size());
        for (qsizetype k = 0; k < servedHops.size(); ++k) {
            EXPECT_EQ(keysOf(servedHops[k].toObject()), keysOf(reportedHops[k].toObject()));
            EXPECT_EQ(servedHops[k].toObject()["ip"], reportedHops[k].toObject()["ip"]);
        }
        EXPECT_GE(servedDocument["rounds"].toInt(), 5);
        const HttpResult all = get(ServePort, "/api/v1/traces");
        EXPECT_EQ(QJsonDocument::fromJson(all.body).array().size(), 2);
        EXPECT_EQ(get(ServePort, "/api/v1/traces/192.0.2.1").status, 404);
        EXPECT_EQ(get(ServePort, "/nothing/here").status, 404);
        EXPECT_EQ(get(ServePort, "/metrics", {}, "POST").status, 405);

        // Hostile clients: some never send, some trickle, some send garbage or too much, and
        // two hundred come at once. Everyone else is still served.
        const auto idle = test::connectClients(ServePort, 20);
        ASSERT_EQ(idle.size(), 20u);
        for (size_t i = 1; i < idle.size(); i += 2) {
            idle[i]->write("GET /metrics HTTP/1.1\r\nX-Slow: ");
            idle[i]->flush();
        }
        EXPECT_EQ(get(ServePort, "/healthz").status, 200);
        EXPECT_EQ(get(ServePort, "/" + QByteArray(20000, 'x')).status, 414);
        EXPECT_EQ(get(ServePort, "/", "X-Big: " + QByteArray(40000, 'y') + "\r\n").status, 431);
        EXPECT_EQ(get(ServePort, "/", {}, "\x01\xfe\x7f").status, 400);
        const auto crowd = test::connectClients(ServePort, 200);
        ASSERT_EQ(crowd.size(), 200u);
        for (const auto& socket : crowd)
            socket->write("GET /metrics HTTP/1.1\r\n\r\n");
        EXPECT_EQ(test::answeredWith(crowd, "HTTP/1.1 200 "), 200);

        // Prometheus holds the per-hop series of both paths.
        ASSERT_TRUE(waitFor(
            [&] {
                return prometheusQuery(
                           QStringLiteral("hoplark_hop_rtt_seconds_count{hop=\"2\"} > 0"))
                               .size() == 2 &&
                       prometheusQuery(QStringLiteral("hoplark_hop_probes_lost_total")).size() ==
                           5 &&
                       prometheusQuery(QStringLiteral("hoplark_path_changes_total")).size() == 2;
            },
            45000))
            << collector.readAll().toStdString();
        const QJsonArray lossRatios =
            prometheusQuery(QStringLiteral("hoplark_hop_loss_ratio{target=\"%1\"}").arg(farTarget));
        EXPECT_EQ(lossRatios.size(), 3);
        collector.terminate();
        collector.waitForFinished(30000);
    }

    stopServer();
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0) << server.readAllStandardError().toStdString();

    // Every round of both traces was launched on time though the server was under siege: the
    // recordings' launch times are a delay apart, give or take a scheduling hiccup.
    const QStringList files =
        QDir(records.path()).entryList({QStringLiteral("*.hoplark")}, QDir::Files);
    ASSERT_EQ(files.size(), 2) << files.join(u' ');
    for (const QString& file : files) {
        const LoadedRecording loaded = RecordingReader::load(records.filePath(file));
        const std::vector<qint64>& starts = loaded.state.RoundStartsUtcUs;
        ASSERT_GE(starts.size(), 10u) << file;
        for (size_t r = 1; r < starts.size(); ++r)
            EXPECT_LT(starts[r] - starts[r - 1], (DelayMs + 2000) * 1000LL)
                << file.toStdString() << " round " << r + 1;
    }
}

}  // namespace
}  // namespace hoplark
