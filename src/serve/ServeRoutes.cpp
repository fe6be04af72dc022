#include "serve/ServeRoutes.h"

#include <QBuffer>

#include "export/MetricsWriter.h"

namespace hoplark {

namespace {

const QByteArray TracesPrefix = "/api/v1/traces/";

HttpResponse jsonResponse(const std::vector<TraceDocument>& documents, bool asArray) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (asArray) buffer.write("[");
    for (size_t i = 0; i < documents.size(); ++i) {
        if (i > 0) buffer.write(",");
        const TraceDocument& document = documents[i];
        ReportFormatter formatter(document.state, document.target, document.shownHops);
        formatter.setContext(document.context);
        formatter.write(ReportFormat::Json, buffer);
    }
    if (asArray) buffer.write("]\n");
    HttpResponse response;
    response.contentType = "application/json";
    response.body = buffer.data();
    return response;
}

}  // namespace

void ServeRoutes::handle(const HttpRequest& request, const HttpReply& reply) const {
    if (request.method != "GET" && request.method != "HEAD") {
        HttpResponse response =
            HttpResponse::text(405, "Method Not Allowed", "only GET and HEAD are served\n");
        response.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        reply(response);
        return;
    }
    const QByteArray& path = request.path;
    if (path == "/metrics") {
        metrics(request, reply);
    } else if (path == "/healthz") {
        reply(HttpResponse::text(200, "OK", "ok\n"));
    } else if (path == "/api/v1/traces") {
        traces(std::nullopt, reply);
    } else if (path.startsWith(TracesPrefix) && path.size() > TracesPrefix.size()) {
        traces(QString::fromUtf8(path.mid(TracesPrefix.size())), reply);
    } else if (path == "/") {
        reply(HttpResponse::text(200, "OK",
                                 "Hoplark: /metrics, /api/v1/traces, /api/v1/traces/TARGET, "
                                 "/healthz\n"));
    } else {
        reply(HttpResponse::text(404, "Not Found", "not found\n"));
    }
}

void ServeRoutes::metrics(const HttpRequest& request, const HttpReply& reply) const {
    const MetricsWriter::Format format = MetricsWriter::negotiate(request.header("accept"));
    HttpResponse response;
    response.contentType = MetricsWriter::contentType(format);
    response.body = MetricsWriter(format, version_).write(board_.metrics());
    reply(response);
}

void ServeRoutes::traces(const std::optional<QString>& target, const HttpReply& reply) const {
    // The sessions' thread only copies the traces; they are formatted back on this thread.
    QObject* replyContext = replyContext_;
    const auto source = documents_.documents;
    QMetaObject::invokeMethod(
        documents_.context,
        [source, target, reply, replyContext] {
            auto documents = std::make_shared<std::vector<TraceDocument>>(source(target));
            QMetaObject::invokeMethod(
                replyContext,
                [documents, target, reply] {
                    if (target && documents->empty())
                        reply(HttpResponse::text(404, "Not Found", "no such target\n"));
                    else
                        reply(jsonResponse(*documents, !target));
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

}  // namespace hoplark
