// The asynchronous GET every web service uses, against a local server: answers, failures,
// redirects, size and time limits, and one wait for a 503's Retry-After.
#include <gtest/gtest.h>

#include <optional>

#include "platform/net/HttpFetch.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

QByteArray Http(int status, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

class HttpFetchTest : public ::testing::Test {
protected:
    /// One GET of path; the result once the callback ran.
    THttpResult Get(const QString& path,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5),
                    qint64 maxBytes = 1 << 20, std::chrono::seconds retryAfter = {})
    {
        THttpFetch fetch;
        std::optional<THttpResult> result;
        THttpRequest request;
        request.Url = QUrl(QStringLiteral("http://%1%2").arg(server.Address(), path));
        request.UserAgent = "Platterly-test/1";
        request.Timeout = timeout;
        request.MaxBytes = maxBytes;
        request.MaxRetryAfter = retryAfter;
        fetch.Get(request, [&](const THttpResult& r) { result = r; });
        EXPECT_TRUE(WaitUntil([&] { return result.has_value(); }));
        return result.value_or(THttpResult{});
    }

    int count503 = 0;
    TCddbTestServer server{[this](const TCddbTestRequest& r) {
        TCddbTestAnswer a;
        a.Kind = TCddbTestAnswer::Raw;
        const QByteArray path = r.Target;
        if (path == "/ok")
            a.Body = Http(200, "Content-Type: application/json\r\n", "{\"a\":1}");
        else if (path == "/500")
            a.Body = Http(500, {}, "broken");
        else if (path == "/to-file")
            a.Body = Http(302, "Location: file:///etc/passwd\r\n", {});
        else if (path == "/to-ok")
            a.Body = Http(301, "Location: /ok\r\n", {});
        else if (path == "/big")
            a.Body = Http(200, {}, QByteArray(4096, 'x'));
        else if (path == "/cut")
            a.Body = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly this";
        else if (path == "/silent")
            a.Kind = TCddbTestAnswer::Silent;
        else if (path == "/busy")
            a.Body = ++count503 == 1 ? Http(503, "Retry-After: 1\r\n", {}) : Http(200, {}, "now");
        else
            a.Body = Http(404, {}, {});
        return a;
    }};
};

TEST_F(HttpFetchTest, AnswersAndFailures)
{
    THttpResult r = Get(QStringLiteral("/ok"));
    EXPECT_TRUE(r.Ok()) << r.Error.toStdString();
    EXPECT_EQ(r.Body, "{\"a\":1}");
    EXPECT_EQ(r.ContentType, QStringLiteral("application/json"));
    EXPECT_EQ(server.Requests().back().Host, server.Address().toUtf8());

    r = Get(QStringLiteral("/500"));
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Status, 500);

    r = Get(QStringLiteral("/to-ok"));
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Body, "{\"a\":1}");

    struct Case {
        const char* path;
        const char* error;
    };
    for (const Case c :
         {Case{"/to-file", "not an http or https address"}, Case{"/big", "larger than 1000 bytes"},
          Case{"/cut", ""}, Case{"/silent", "did not answer in time"}}) {
        r = Get(QString::fromUtf8(c.path), std::chrono::milliseconds(500), 1000);
        EXPECT_FALSE(r.Ok()) << c.path;
        EXPECT_TRUE(r.Body.isEmpty()) << c.path;
        EXPECT_TRUE(r.Error.contains(QString::fromUtf8(c.error)))
            << c.path << ": " << r.Error.toStdString();
        EXPECT_FALSE(r.Error.isEmpty()) << c.path;
    }
}

TEST_F(HttpFetchTest, A503IsTriedOnceMoreAfterItsRetryAfter)
{
    THttpResult r =
        Get(QStringLiteral("/busy"), std::chrono::seconds(5), 1 << 20, std::chrono::seconds(2));
    EXPECT_TRUE(r.Ok()) << r.Status << r.Error.toStdString();
    EXPECT_EQ(r.Body, "now");
    EXPECT_EQ(count503, 2);
    // Without leave to wait, the 503 is the answer.
    count503 = 0;
    r = Get(QStringLiteral("/busy"));
    EXPECT_EQ(r.Status, 503);
}

} // namespace
