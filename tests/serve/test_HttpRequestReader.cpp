// The request head reader: what a well-behaved client sends is read whole, however it is cut
// into pieces; what a hostile one sends is refused with its status before it can grow.
#include <gtest/gtest.h>

#include "serve/HttpRequestReader.h"

namespace hoplark {
namespace {

using Status = HttpRequestReader::Status;

TEST(HttpRequestReader, ReadsAHeadSentByteByByte) {
    const QByteArray head =
        "GET /api/v1/traces/example%2Eorg?x=1 HTTP/1.1\r\nHost: a\r\nAccept:  text/plain \r\n\r\n";
    HttpRequestReader reader;
    for (qsizetype i = 0; i + 1 < head.size(); ++i)
        ASSERT_EQ(reader.feed(head.mid(i, 1)), Status::Incomplete) << i;
    ASSERT_EQ(reader.feed(head.right(1)), Status::Complete);
    const HttpRequest& request = reader.request();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/api/v1/traces/example.org");
    EXPECT_EQ(request.query, "x=1");
    EXPECT_EQ(request.header("accept"), "text/plain");
    EXPECT_EQ(request.header("host"), "a");
    // Bare line feeds and an absolute target are read too.
    HttpRequestReader lenient;
    EXPECT_EQ(lenient.feed("\r\nHEAD http://h:1/metrics HTTP/1.0\nX: y\n\n"), Status::Complete);
    EXPECT_EQ(lenient.request().path, "/metrics");
}

TEST(HttpRequestReader, RefusesMalformedAndOversizedHeads) {
    struct Case {
        QByteArray bytes;
        int code;
    };
    const QByteArray longPath(HttpRequestReader::MaxRequestLineBytes + 1, 'a');
    const QByteArray longValue(HttpRequestReader::MaxHeadBytes, 'v');
    QByteArray manyHeaders = "GET / HTTP/1.1\r\n";
    for (int i = 0; i <= HttpRequestReader::MaxHeaderLines; ++i)
        manyHeaders += "X: 1\r\n";
    const std::vector<Case> cases = {
        {QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n", 13), 400},
        {"GET /\r\n\r\n", 400},
        {"GET / HTTP/1.1 extra\r\n\r\n", 400},
        {"GET noslash HTTP/1.1\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"GET / HTTP/1.1\r\n folded\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", 400},
        // Refused as soon as the limit is passed, without waiting for a line end.
        {"GET /" + longPath, 414},
        {"GET / HTTP/1.1\r\nX: " + longValue, 431},
        {manyHeaders, 431},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.left(40).toStdString());
        HttpRequestReader reader;
        ASSERT_EQ(reader.feed(c.bytes), Status::Refused);
        EXPECT_EQ(reader.refusalCode(), c.code);
        // Nothing after a refusal changes it.
        EXPECT_EQ(reader.feed("GET / HTTP/1.1\r\n\r\n"), Status::Refused);
    }
}

}  // namespace
}  // namespace hoplark
