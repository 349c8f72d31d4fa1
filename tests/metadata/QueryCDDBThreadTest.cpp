#include <QDir>

#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "metadata/QueryCDDBThread.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const QString kId = QStringLiteral("07003202"); // the two-track image below

/// Keeps every WM_CDDBSTATE it receives.
class Receiver : public QObject {
public:
    struct Seen {
        int State = 0;
        int Code = 0;
        std::shared_ptr<TDiscNames> Result;
        QString Failure;
        std::vector<CddbMatch> Matches;
    };
    std::vector<Seen> seen;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != static_cast<QEvent::Type>(WM_CDDBSTATE))
            return QObject::event(e);
        auto* s = dynamic_cast<TCddbStateEvent*>(e);
        EXPECT_NE(s, nullptr);
        if (s != nullptr)
            seen.push_back({s->State, s->Code, std::shared_ptr<TDiscNames>(std::move(s->Result)),
                            s->Failure, s->Matches});
        return true;
    }
};

TCddbTestAnswer Body(const QByteArray& body)
{
    TCddbTestAnswer a;
    a.Body = body;
    return a;
}

QByteArray RecordOf(const QString& dtitle, const QStringList& titles)
{
    return CddbAnswers::Record(QStringLiteral("rock"), kId,
                               CddbAnswers::RecordLines(kId, dtitle, QStringLiteral("2001"),
                                                        QStringLiteral("Rock"), titles));
}

class QueryCDDBThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(scope.File(QStringLiteral("discs"))));
        MakeImage(scope.File(QStringLiteral("discs")), QStringLiteral("Disc"), {2250, 1510});
        handle = GetCDHandle(HandleRequest::For(ListedImages().front().Entry));
        ASSERT_NE(handle, 0);
        settings.Server = server.Address();
        settings.Script = QStringLiteral("/~cddb/cddb.cgi");
        settings.Port = QStringLiteral("80");
    }
    void TearDown() override
    {
        EXPECT_TRUE(TQueryCDDBThread::StopAllAndWait(20s));
        CloseAllHandles();
    }

    /// Runs a lookup (or the read of a chosen match) to its end; returns what the receiver got.
    std::vector<Receiver::Seen> Run(const std::optional<CddbMatch>& chosen = std::nullopt)
    {
        Receiver receiver;
        auto link = std::make_shared<TCddbLookupLink>(&receiver);
        if (chosen)
            TQueryCDDBThread::StartRead(1, 2, settings, link, *chosen);
        else
            TQueryCDDBThread::Start(1, 2, handle, settings, link);
        EXPECT_TRUE(
            WaitUntil([&] { return !receiver.seen.empty() && TQueryCDDBThread::Running() == 0; }));
        PumpEvents(); // anything posted late would show now
        return receiver.seen;
    }

    ProgramDirScope scope;
    TCddbTestServer server{nullptr};
    TQueryCDDB settings;
    int handle = 0;
};

} // namespace

TEST_F(QueryCDDBThreadTest, SeveralMatchesAreListedAndOnlyTheChosenOneIsRead)
{
    server.SetHandler([](const TCddbTestRequest& r) {
        if (r.Command.startsWith(QStringLiteral("cddb query")))
            return Body(CddbAnswers::List(210, {QStringLiteral("rock 07003202 Wrong / One"),
                                                QStringLiteral("misc 07003202 Right / One"),
                                                QStringLiteral("jazz 07003202 Never / Read")}));
        if (r.Command.startsWith(QStringLiteral("cddb read rock")))
            return Body("403 Database entry is corrupt.\r\n");
        return Body(RecordOf(QStringLiteral("AC/DC / Back in Black"),
                             {QStringLiteral("Hells Bells"), QStringLiteral("Shoot to Thrill")}));
    });
    std::vector<Receiver::Seen> seen = Run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].State, TCddbStateEvent::kChoose);
    ASSERT_EQ(seen[0].Matches.size(), 3u);
    EXPECT_EQ(seen[0].Matches[1].Title, QStringLiteral("Right / One"));
    seen = Run(seen[0].Matches[1]);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].State, 7);
    ASSERT_TRUE(seen[0].Result);
    EXPECT_EQ(seen[0].Result->Artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(seen[0].Result->Album, QStringLiteral("Back in Black"));
    EXPECT_EQ(seen[0].Result->Year, QStringLiteral("2001"));
    EXPECT_EQ(seen[0].Result->Titles.at(2), QStringLiteral("Shoot to Thrill"));

    QStringList commands;
    for (const TCddbTestRequest& r : server.Requests())
        commands << r.Command;
    EXPECT_EQ(commands, (QStringList{QStringLiteral("cddb query 07003202 2 150 2400 52"),
                                     QStringLiteral("cddb read misc 07003202")}));
    EXPECT_EQ(server.Requests()[1].Hello, QStringLiteral("platterly localhost program 1.0"));
}

TEST_F(QueryCDDBThreadTest, NoMatchFailureAndRecordsWithoutTitles)
{
    server.SetHandler([](const TCddbTestRequest&) { return Body(CddbAnswers::NoMatch()); });
    std::vector<Receiver::Seen> seen = Run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].State, 6);
    EXPECT_EQ(seen[0].Code, 202);

    server.SetHandler(
        [](const TCddbTestRequest&) { return Body("530 Server error, server busy.\r\n"); });
    seen = Run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].State, 7);
    EXPECT_FALSE(seen[0].Result);
    EXPECT_EQ(seen[0].Failure,
              QStringLiteral("the server answered \"530 Server error, server busy.\""));

    server.SetHandler([](const TCddbTestRequest& r) {
        if (r.Command.startsWith(QStringLiteral("cddb query")))
            return Body(CddbAnswers::Exact(QStringLiteral("rock"), kId, QStringLiteral("A / B")));
        return Body(CddbAnswers::Record(QStringLiteral("rock"), kId,
                                        {QStringLiteral("DTITLE=Only / Names")}));
    });
    seen = Run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].State, 7);
    EXPECT_FALSE(seen[0].Result); // nothing changes without titles
    EXPECT_EQ(seen[0].Failure, QStringLiteral("the disc's record has no track titles"));
}

TEST_F(QueryCDDBThreadTest, RecordsAreTakenUpTo1MBAndRefusedAbove)
{
    for (const int size : {100'000, (1 << 20) + 1}) {
        QStringList lines{QStringLiteral("TTITLE0=x"), QStringLiteral("TTITLE1=y")};
        lines.prepend(QLatin1Char('#') + QString(size - 21, QLatin1Char('p'))); // size in all
        const QByteArray record = CddbAnswers::Record(QStringLiteral("rock"), kId, lines);
        server.SetHandler([record](const TCddbTestRequest& r) {
            return Body(r.Command.startsWith(QStringLiteral("cddb query"))
                            ? CddbAnswers::Exact(QStringLiteral("rock"), kId, QStringLiteral("A"))
                            : record);
        });
        const std::vector<Receiver::Seen> seen = Run();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].Result != nullptr, size < (1 << 20)) << size;
        EXPECT_EQ(seen[0].Failure, size < (1 << 20)
                                       ? QString()
                                       : QStringLiteral("the disc's record is larger than 1 MB"));
    }
}

TEST_F(QueryCDDBThreadTest, ProxySettingsRouteTheLookup)
{
    server.SetHandler([](const TCddbTestRequest& r) {
        if (r.Command.startsWith(QStringLiteral("cddb query")))
            return Body(CddbAnswers::Exact(QStringLiteral("rock"), kId, QStringLiteral("A / B")));
        return Body(RecordOf(QStringLiteral("A / B"), {QStringLiteral("x"), QStringLiteral("y")}));
    });
    settings.Server = QStringLiteral("cddb.example.invalid");
    settings.UseProxy = true;
    settings.ProxyAddress = QStringLiteral("127.0.0.1");
    settings.Port = QString::number(server.Port());
    const std::vector<Receiver::Seen> seen = Run();
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(seen[0].Result);
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_TRUE(server.Requests()[1].Target.startsWith(
        "http://cddb.example.invalid/~cddb/cddb.cgi?cmd=cddb+read+rock+"));
}

TEST_F(QueryCDDBThreadTest, StoppedLookupEndsOnItsOwnAndReportsNothing)
{
    TCddbTestAnswer drip;
    drip.Kind = TCddbTestAnswer::Drip;
    drip.DripInterval = 1s;
    server.SetHandler([drip](const TCddbTestRequest&) { return drip; });
    Receiver receiver;
    auto link = std::make_shared<TCddbLookupLink>(&receiver);
    TQueryCDDBThread::Start(1, 2, handle, settings, link);
    ASSERT_TRUE(WaitUntil([&] { return !server.Requests().empty(); }));
    link->Stop();
    EXPECT_TRUE(WaitUntil([] { return TQueryCDDBThread::Running() == 0; }));
    PumpEvents();
    EXPECT_TRUE(receiver.seen.empty());
}
