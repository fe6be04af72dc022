#pragma once

#include <QObject>
#include <QString>

#include "serve/FleetBoard.h"
#include "serve/HttpResponse.h"

namespace hoplark {

// What the server answers, on the server's thread:
//   GET /metrics                  every target's figures, Prometheus or OpenMetrics text
//   GET /api/v1/traces            every trace's report JSON, in an array
//   GET /api/v1/traces/TARGET     one trace's report JSON, as `--report --format json` prints it
//   GET /healthz                  "ok"
// HEAD is answered like GET without the body; other methods get 405, other paths 404.
class ServeRoutes {
public:
    ServeRoutes(const FleetBoard& board, TraceDocumentSource documents, QString version)
        : board_(board), documents_(std::move(documents)), version_(std::move(version)) {}

    // The object on the server's thread that documents copied by the sessions' thread are
    // handed back to. Set before the first request.
    void setReplyContext(QObject* context) { replyContext_ = context; }

    void handle(const HttpRequest& request, const HttpReply& reply) const;

private:
    void metrics(const HttpRequest& request, const HttpReply& reply) const;
    void traces(const std::optional<QString>& target, const HttpReply& reply) const;

    const FleetBoard& board_;
    TraceDocumentSource documents_;
    QString version_;
    QObject* replyContext_ = nullptr;
};

}  // namespace hoplark
