#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/cddb/Cddb.h"
#include "platform/cddb/CddbClient.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const QString kId = QStringLiteral("02001e01");

/// A one-track disc of 30 s (id 02001e01).
CddbDisc OneTrackDisc()
{
    CddbDisc d;
    d.Offsets = {150};
    d.LeadOut = 2400;
    return d;
}

TCddbTestAnswer Body(const QByteArray& body)
{
    TCddbTestAnswer a;
    a.Body = body;
    return a;
}

/// Answers queries with one exact match and reads with a short record.
TCddbTestAnswer StandardAnswers(const TCddbTestRequest& r)
{
    if (r.Command.startsWith(QStringLiteral("cddb query")))
        return Body(CddbAnswers::Exact(QStringLiteral("rock"), kId,
                                       QStringLiteral("Some Band / First Record")));
    if (r.Command == QStringLiteral("cddb read rock ") + kId)
        return Body(CddbAnswers::Record(
            QStringLiteral("rock"), kId,
            CddbAnswers::RecordLines(kId, QStringLiteral("Some Band / First Record"),
                                     QStringLiteral("1999"), QStringLiteral("Rock"),
                                     {QStringLiteral("Opening")})));
    return Body("500 Unrecognized command.\r\n");
}

class CddbClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        client.SetOption(CddbOption::Server, server.Address(), 0);
        client.SetOption(CddbOption::User, QStringLiteral("someone@example.org"), 0);
        client.SetOption(CddbOption::Program, QStringLiteral("program 1.0"), 0);
    }
    void TearDown() override { TCddbClient::SetDefaultLimitsForTests(0ms, 0ms); }

    int Query(CddbQueryList& list) { return client.Query(OneTrackDisc(), list); }

    TCddbTestServer server{StandardAnswers};
    TCddbClient client;
};

} // namespace

TEST_F(CddbClientTest, QueryThenReadSpeakTheProtocol)
{
    CddbQueryList list;
    ASSERT_EQ(Query(list), 1);
    ASSERT_EQ(list.Count, 1);
    EXPECT_EQ(list.Matches[0].Category, QStringLiteral("rock"));
    EXPECT_EQ(list.Matches[0].DiscId, kId);

    QString record;
    ASSERT_EQ(client.GetDiskInfo(list.Matches[0], record, 32000), 1);
    EXPECT_TRUE(record.contains(QStringLiteral("\nTTITLE0=Opening")));
    EXPECT_EQ(client.LastError(), CddbError::None);

    const std::vector<TCddbTestRequest> seen = server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].Target.startsWith("/~cddb/cddb.cgi?cmd=cddb+query+02001e01+1+150+32&"))
        << seen[0].Target.constData();
    EXPECT_EQ(seen[0].Hello, QStringLiteral("someone example.org program 1.0"));
    EXPECT_EQ(seen[0].Proto, QStringLiteral("6"));
    EXPECT_EQ(seen[0].Host, server.Address().toUtf8());
    EXPECT_FALSE(seen[0].ViaProxy);
    EXPECT_EQ(seen[1].Command, QStringLiteral("cddb read rock ") + kId);
}

TEST_F(CddbClientTest, ListsNoMatchAndErrors)
{
    QStringList lines;
    for (int i = 0; i < 12; ++i)
        lines << QStringLiteral("misc %1 Disc %2").arg(i, 8, 16, QLatin1Char('0')).arg(i);
    for (const int status : {210, 211}) {
        server.SetHandler([status, lines](const TCddbTestRequest&) {
            return Body(CddbAnswers::List(status, lines));
        });
        CddbQueryList list;
        ASSERT_EQ(Query(list), 1) << status;
        EXPECT_EQ(list.Count, kCddbMaxMatches) << status;
        EXPECT_EQ(list.Matches[9].Title, QStringLiteral("Disc 9"));
    }
    // A smaller capacity keeps fewer.
    CddbQueryList three;
    three.Count = 3;
    ASSERT_EQ(Query(three), 1);
    EXPECT_EQ(three.Count, 3);

    server.SetHandler([](const TCddbTestRequest&) { return Body(CddbAnswers::NoMatch()); });
    CddbQueryList none;
    ASSERT_EQ(Query(none), 1);
    EXPECT_EQ(none.Count, 0);
    EXPECT_EQ(client.LastError(), 202);

    server.SetHandler([](const TCddbTestRequest&) { return Body("409 No handshake.\r\n"); });
    CddbQueryList failed;
    EXPECT_EQ(Query(failed), 0);
    EXPECT_EQ(failed.Count, 0);
    EXPECT_EQ(client.LastError(), 409);

    server.SetHandler([](const TCddbTestRequest&) {
        TCddbTestAnswer a = Body("<html>Not here</html>");
        a.HttpStatus = 404;
        return a;
    });
    EXPECT_EQ(Query(failed), 0);
    EXPECT_EQ(client.LastError(), CddbError::Http);

    server.SetHandler([](const TCddbTestRequest&) {
        return Body("401 rock 02001e01 No such CD entry in database.\r\n");
    });
    QString record = QStringLiteral("left over");
    EXPECT_EQ(client.GetDiskInfo({QStringLiteral("rock"), kId, {}}, record, 32000), 0);
    EXPECT_EQ(client.LastError(), 401);
    EXPECT_TRUE(record.isEmpty());
}

TEST_F(CddbClientTest, ProxyCarriesTheRequestToAServerItResolves)
{
    // The target name cannot resolve here: only the proxy can have delivered the answer.
    client.SetOption(CddbOption::Server, QStringLiteral("cddb.example.invalid:8880"), 0);
    client.SetOption(CddbOption::UseProxy, QString(), 1);
    client.SetOption(CddbOption::ProxyPort, QString(), server.Port());
    client.SetOption(CddbOption::ProxyAddress, QStringLiteral("127.0.0.1"), 0);
    CddbQueryList list;
    ASSERT_EQ(Query(list), 1) << client.LastError();
    EXPECT_EQ(list.Count, 1);
    const std::vector<TCddbTestRequest> seen = server.Requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].ViaProxy);
    EXPECT_TRUE(seen[0].Target.startsWith(
        "http://cddb.example.invalid:8880/~cddb/cddb.cgi?cmd=cddb+query+"))
        << seen[0].Target.constData();

    // Proxy switched on without an address: no request at all.
    TCddbClient noAddress;
    noAddress.SetOption(CddbOption::Server, server.Address(), 0);
    noAddress.SetOption(CddbOption::UseProxy, QString(), 1);
    EXPECT_EQ(noAddress.Query(OneTrackDisc(), list), 0);
    EXPECT_EQ(noAddress.LastError(), CddbError::BadServer);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(CddbClientTest, ServerTextsAndOptions)
{
    TCddbClient c;
    c.SetOption(CddbOption::Server, QStringLiteral("gnudb.gnudb.org"), 0);
    std::optional<QUrl> url = c.CommandUrl(QStringLiteral("cddb query 02001e01 1 150 32"));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->host(), QStringLiteral("gnudb.gnudb.org"));
    EXPECT_EQ(url->port(80), 80);
    EXPECT_EQ(url->path(), QStringLiteral("/~cddb/cddb.cgi"));

    c.SetOption(CddbOption::Server, QStringLiteral(" localhost:8880 "), 0);
    c.SetOption(CddbOption::Script, QStringLiteral("cgi-bin/cddb.cgi?x#y"), 0);
    url = c.CommandUrl(QStringLiteral("cddb read rock 1"));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->port(), 8880);
    EXPECT_EQ(url->path(), QStringLiteral("/cgi-bin/cddb.cgi?x#y")); // all of it is the path
    c.SetOption(CddbOption::Server, QStringLiteral("[::1]:8881"), 0);
    url = c.CommandUrl(QStringLiteral("cddb read rock 1"));
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->host(), QStringLiteral("::1"));
    EXPECT_EQ(url->port(), 8881);

    for (const char* bad : {"", "  ", "host:0", "host:65536", "host:80x", "host:", "user@host",
                            "host/path", "two words", "[::1", "[::1]x"}) {
        c.SetOption(CddbOption::Server, QString::fromLatin1(bad), 0);
        EXPECT_FALSE(c.CommandUrl(QStringLiteral("cddb read rock 1")).has_value()) << bad;
    }
    CddbQueryList list;
    EXPECT_EQ(c.Query(OneTrackDisc(), list), 0);
    EXPECT_EQ(c.LastError(), CddbError::BadServer);

    EXPECT_EQ(c.SetOption(7, QString(), 0), 0);
    EXPECT_EQ(c.SetOption(CddbOption::ProxyPort, QString(), 0), 0);
    EXPECT_EQ(c.SetOption(CddbOption::ProxyPort, QString(), 65536), 0);
    EXPECT_EQ(c.SetOption(CddbOption::TimeLimit, QString(), -1), 0);
    EXPECT_EQ(c.SetOption(CddbOption::TimeLimit, QString(), 0), 1);
}

TEST_F(CddbClientTest, HostileAnswersFailCleanly)
{
    struct Case {
        const char* name;
        TCddbTestAnswer answer;
        int error;
    };
    TCddbTestAnswer empty;
    empty.Kind = TCddbTestAnswer::CloseAtOnce;
    TCddbTestAnswer nothing = Body({});
    TCddbTestAnswer binary = Body(QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", 16));
    TCddbTestAnswer wrongStatus = Body("HELLO there\r\n");
    TCddbTestAnswer huge = Body(QByteArray(50 << 20, 'x'));
    TCddbTestAnswer notHttp;
    notHttp.Kind = TCddbTestAnswer::Raw;
    notHttp.Body = "200 rock 02001e01 raw CDDB without HTTP\r\n";
    TCddbTestAnswer truncated;
    truncated.Kind = TCddbTestAnswer::Raw;
    truncated.Body = "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n200 rock 02001e01 T";
    for (const Case& c :
         {Case{"empty", empty, CddbError::Cut}, Case{"no body", nothing, CddbError::BadAnswer},
          Case{"binary", binary, CddbError::BadAnswer},
          Case{"wrong status", wrongStatus, CddbError::BadAnswer},
          Case{"50 MB", huge, CddbError::TooLong}, Case{"not HTTP", notHttp, CddbError::Cut},
          Case{"truncated", truncated, CddbError::Cut}}) {
        server.SetHandler([answer = c.answer](const TCddbTestRequest&) { return answer; });
        TCddbClient fresh;
        fresh.SetOption(CddbOption::Server, server.Address(), 0);
        CddbQueryList list;
        EXPECT_EQ(fresh.Query(OneTrackDisc(), list), 0) << c.name;
        EXPECT_EQ(fresh.LastError(), c.error) << c.name;
        EXPECT_EQ(list.Count, 0) << c.name;
        QString record;
        EXPECT_EQ(fresh.GetDiskInfo({QStringLiteral("rock"), kId, {}}, record, 32000), 0) << c.name;
        EXPECT_TRUE(record.isEmpty()) << c.name;
    }
}

TEST_F(CddbClientTest, FailuresSayWhy)
{
    quint16 closed = 0; // a port nothing listens on
    {
        QTcpServer s;
        ASSERT_TRUE(s.listen(QHostAddress::LocalHost, 0));
        closed = s.serverPort();
    }
    const auto as = [](TCddbTestAnswer::Mode kind, const QByteArray& body, int http = 200) {
        return TCddbTestAnswer{kind, body, http, 1s};
    };
    const QString local = server.Address();
    const QString cut = QStringLiteral("the server closed the connection before the answer's end");
    for (const auto& [host, answer, error, text] :
         std::vector<std::tuple<QString, TCddbTestAnswer, int, QString>>{
             {QStringLiteral("cddb.example.invalid"),
              {},
              CddbError::HostNotFound,
              QStringLiteral("the server \"cddb.example.invalid\" was not found")},
             {QStringLiteral("127.0.0.1:%1").arg(closed),
              {},
              CddbError::Refused,
              QStringLiteral("the server refused the connection")},
             {local, as(TCddbTestAnswer::Silent, {}), CddbError::TimeLimit,
              QStringLiteral("no answer within 1 s")},
             {local, as(TCddbTestAnswer::Normal, "<html>oops</html>", 500), CddbError::Http,
              QStringLiteral("the server answered HTTP \"500 Error\"")},
             {local, Body("500 Command syntax error.\r\n"), 500,
              QStringLiteral("the server answered \"500 Command syntax error.\"")},
             {local, Body("<html>It works!</html>"), CddbError::BadAnswer,
              QStringLiteral("the server's answer is not a CDDB answer")},
             {local,
              as(TCddbTestAnswer::Raw, "HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n210 x"),
              CddbError::Cut, cut},
             {local, as(TCddbTestAnswer::CloseDelimited, "210 rock 02001e01 x\r\nTTITLE0=One\r\n"),
              CddbError::Cut, cut}}) {
        server.SetHandler([answer](const TCddbTestRequest&) { return answer; });
        for (const bool read : {false, true}) {
            TCddbClient fresh;
            fresh.SetOption(CddbOption::Server, host, 0);
            fresh.SetOption(CddbOption::TimeLimit, QString(), 1);
            CddbQueryList list;
            QString record;
            EXPECT_EQ(read ? fresh.GetDiskInfo({QStringLiteral("rock"), kId, {}}, record, 32000)
                           : fresh.Query(OneTrackDisc(), list),
                      0);
            EXPECT_EQ(fresh.LastError(), error) << text.toStdString();
            EXPECT_EQ(fresh.LastErrorText(), text);
        }
    }
}

TEST_F(CddbClientTest, SlowOrSilentServersMeetTheLookupLimit)
{
    TCddbTestAnswer drip;
    drip.Kind = TCddbTestAnswer::Drip;
    drip.Body = "210 rock 02001e01 entry\r\nTTITLE0=x\r\n";
    drip.DripInterval = 50ms;
    TCddbTestAnswer silent;
    silent.Kind = TCddbTestAnswer::Silent;
    // A connect time-out far below the limit: a connected server is not cut off by it.
    TCddbClient::SetDefaultLimitsForTests(300ms, 0ms);
    for (const TCddbTestAnswer& answer : {drip, silent}) {
        server.SetHandler([answer](const TCddbTestRequest&) { return answer; });
        TCddbClient c;
        c.SetOption(CddbOption::Server, server.Address(), 0);
        c.SetOption(CddbOption::TimeLimit, QString(), 1);
        CddbQueryList list;
        EXPECT_EQ(c.Query(OneTrackDisc(), list), 0);
        EXPECT_EQ(c.LastError(), CddbError::TimeLimit);
        // The limit covers the whole lookup: a read after it fails at once, asking nothing.
        const size_t asked = server.Requests().size();
        QString record;
        EXPECT_EQ(c.GetDiskInfo({QStringLiteral("rock"), kId, {}}, record, 32000), 0);
        EXPECT_EQ(c.LastError(), CddbError::TimeLimit);
        EXPECT_EQ(server.Requests().size(), asked);
    }
}

TEST(CddbConnect, AServerThatNeverAcceptsMeetsTheConnectTimeout)
{
    // A listener whose accept queue is full drops further connection attempts unanswered.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    ASSERT_EQ(::listen(fd, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(f, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(f);
    }
    TCddbClient::SetDefaultLimitsForTests(300ms, 20s);
    TCddbClient c;
    TCddbClient::SetDefaultLimitsForTests(0ms, 0ms);
    c.SetOption(CddbOption::Server, QStringLiteral("127.0.0.1:%1").arg(ntohs(addr.sin_port)), 0);
    CddbQueryList list;
    EXPECT_EQ(c.Query(OneTrackDisc(), list), 0);
    EXPECT_EQ(c.LastError(), CddbError::ConnectTimeout);
    for (const int f : fillers)
        ::close(f);
    ::close(fd);
}

TEST_F(CddbClientTest, AbortEndsAWaitingCallAtOnceAndEveryLaterOne)
{
    TCddbTestAnswer silent;
    silent.Kind = TCddbTestAnswer::Silent;
    server.SetHandler([silent](const TCddbTestRequest&) { return silent; });
    std::shared_ptr<TCddbAbort> abort = client.AbortHandle();
    std::atomic<bool> asked{false};
    std::thread stopper([&] {
        while (server.Requests().empty())
            QThread::msleep(5);
        asked = true;
        abort->Abort();
    });
    CddbQueryList list;
    EXPECT_EQ(Query(list), 0);
    stopper.join();
    EXPECT_TRUE(asked);
    EXPECT_EQ(client.LastError(), CddbError::Aborted);
    QString record;
    EXPECT_EQ(client.GetDiskInfo({QStringLiteral("rock"), kId, {}}, record, 32000), 0);
    EXPECT_EQ(client.LastError(), CddbError::Aborted);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(CddbOperations, QueryReadsTheDriveAndUsesThisThreadsOptions)
{
    ProgramDirScope scope;
    ASSERT_TRUE(QDir().mkpath(scope.File(QStringLiteral("discs"))));
    MakeImage(scope.File(QStringLiteral("discs")), QStringLiteral("Disc"), {2250, 1510});
    TCddbTestServer server(StandardAnswers);
    const int handle = GetCDHandle(HandleRequest::For(ListedImages().front().Entry));
    ASSERT_NE(handle, 0);

    // Options set on another thread do not reach this one.
    std::thread other([&] { CDDBSetOption(CddbOption::Server, server.Address(), 0); });
    other.join();
    CddbQueryList list;
    EXPECT_EQ(CDDBQuery(handle, list), 0);
    EXPECT_EQ(CDDBGetLastError(), CddbError::BadServer);

    ASSERT_EQ(CDDBSetOption(CddbOption::Server, server.Address(), 0), 1);
    list.Count = kCddbMaxMatches;
    ASSERT_EQ(CDDBQuery(handle, list), 1);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].Command, QStringLiteral("cddb query 07003202 2 150 2400 52"));
    QString record;
    EXPECT_EQ(CDDBGetDiskInfo(list.Matches[0], record, 32000), 1) << CDDBGetLastError();

    EXPECT_EQ(CDDBQuery(handle + 100, list), 0);
    EXPECT_EQ(CDDBGetLastError(), CddbError::TocFailed);
    CloseAllHandles();
}
