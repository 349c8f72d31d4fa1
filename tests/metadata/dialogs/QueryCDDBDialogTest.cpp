#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "core/Settings.h"
#include "metadata/QueryCDDBThread.h"
#include "metadata/dialogs/frmChooseCddbMatch.h"
#include "metadata/dialogs/frmQueryCDDB.h"
#include "metadata/dialogs/frmStopQuery.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

const QString kId = QStringLiteral("07003202");

TCddbTestAnswer Body(const QByteArray& body)
{
    TCddbTestAnswer a;
    a.Body = body;
    return a;
}

TCddbTestAnswer FullAnswers(const TCddbTestRequest& r)
{
    if (r.Command.startsWith(QStringLiteral("cddb query")))
        return Body(CddbAnswers::Exact(QStringLiteral("rock"), kId,
                                       QStringLiteral("Some Band / First Record")));
    return Body(CddbAnswers::Record(
        QStringLiteral("rock"), kId,
        CddbAnswers::RecordLines(kId, QStringLiteral("Some Band / First Record"),
                                 QStringLiteral("1999"), QStringLiteral("Rock"),
                                 {QStringLiteral("Opening"), QStringLiteral("Closing")})));
}

class QueryCDDBDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        ASSERT_TRUE(QDir().mkpath(scope.File(QStringLiteral("discs"))));
        MakeImage(scope.File(QStringLiteral("discs")), QStringLiteral("Disc"), {2250, 1510});
        handle = GetCDHandle(HandleRequest::For(ListedImages().front().Entry));
        ASSERT_NE(handle, 0);
        TQueryCDDB& q = OptionsSetting().QueryCDDB;
        q.Server = QStringLiteral("gnudb.gnudb.org");
        q.Script = QStringLiteral("/~cddb/cddb.cgi");
        q.Port = QStringLiteral("80");
    }
    void TearDown() override
    {
        EXPECT_TRUE(TQueryCDDBThread::StopAllAndWait(20s));
        CloseAllHandles();
        ResetOptionsSetting();
    }

    /// Presses Query with the local server typed in; act runs while the wait window is open.
    int Query(TfrmQueryCDDB& dialog, const std::function<void(TfrmStopQuery&)>& act = {})
    {
        dialog.show();
        dialog.cbServer->setEditText(server.Address());
        QTimer probe;
        bool acted = false;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            auto* wait = qobject_cast<TfrmStopQuery*>(QApplication::activeModalWidget());
            if (wait != nullptr && !acted && act) {
                acted = true;
                act(*wait);
            }
        });
        probe.start(1);
        int result = -1;
        QObject guard; // the connection ends with this call: result lives on its stack
        QObject::connect(&dialog, &QDialog::finished, &guard, [&](int r) { result = r; });
        dialog.btQuery->click(); // returns when the wait window has closed
        probe.stop();
        return result;
    }

    ProgramDirScope scope;
    TCddbTestServer server{FullAnswers};
    int handle = 0;
    std::vector<TDiscNames> applied;
};

QLabel* LabelWithText(QWidget& w, const QString& text)
{
    for (QLabel* l : w.findChildren<QLabel*>()) {
        if (l->text() == text)
            return l;
    }
    return nullptr;
}

} // namespace

TEST_F(QueryCDDBDialogTest, QueryDialogCaptionsAndShow)
{
    TQueryCDDB& q = OptionsSetting().QueryCDDB;
    q.Server = CddbServerList()[4];
    q.Script = QStringLiteral("/cgi-bin/cddb.cgi");
    q.UseProxy = false;
    q.ProxyAddress = QStringLiteral("proxy.lan");
    q.Port = QStringLiteral("3128");
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.show();
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Query CDDB"));
    EXPECT_EQ(d.GroupBox1->title(), QStringLiteral("Server"));
    EXPECT_EQ(d.GroupBox2->title(), QStringLiteral("Proxy server"));
    EXPECT_EQ(d.cbProxy->text(), QStringLiteral("Use a proxy server"));
    for (const char* label : {"Query Script:", "Address:", "Port:"})
        EXPECT_NE(LabelWithText(d, QString::fromLatin1(label)), nullptr) << label;
    EXPECT_EQ(d.btDefault->text(), QStringLiteral("Default"));
    EXPECT_EQ(d.btQuery->text(), QStringLiteral("Query"));
    EXPECT_EQ(d.btClose->text(), QStringLiteral("Close"));
    EXPECT_EQ(d.Image1->size(), QSize(48, 48));
    ASSERT_FALSE(d.Image1->pixmap().isNull());
    EXPECT_EQ(d.Image1->pixmap().size(), QSize(48, 48));

    ASSERT_EQ(d.cbServer->count(), 12);
    EXPECT_TRUE(d.cbServer->isEditable());
    EXPECT_EQ(d.cbServer->currentIndex(), 4);
    EXPECT_EQ(d.eScript->text(), q.Script);
    EXPECT_FALSE(d.cbProxy->isChecked());
    EXPECT_EQ(d.eAddress->text(), QStringLiteral("proxy.lan"));
    EXPECT_FALSE(d.eAddress->isEnabled());
    EXPECT_FALSE(d.ePort->isEnabled());
    d.cbProxy->click();
    EXPECT_TRUE(d.eAddress->isEnabled());
    EXPECT_TRUE(d.ePort->isEnabled());

    // Default: entry 0, the default script, no proxy; address and port stay.
    d.cbServer->setEditText(QStringLiteral("typed.example"));
    d.eScript->setText(QStringLiteral("/elsewhere"));
    d.btDefault->click();
    EXPECT_EQ(d.cbServer->currentIndex(), 0);
    EXPECT_EQ(d.cbServer->currentText(), QStringLiteral("gnudb.gnudb.org"));
    EXPECT_EQ(d.eScript->text(), QStringLiteral("/~cddb/cddb.cgi"));
    EXPECT_FALSE(d.cbProxy->isChecked());
    EXPECT_FALSE(d.eAddress->isEnabled());
    EXPECT_EQ(d.eAddress->text(), QStringLiteral("proxy.lan"));
    EXPECT_EQ(d.ePort->text(), QStringLiteral("3128"));
    d.close();

    // A typed server is not in the list: the dialog shows entry 0 when it opens again.
    q.Server = QStringLiteral("127.0.0.1:8880");
    TfrmQueryCDDB again(nullptr, 1, 2, handle);
    again.show();
    EXPECT_EQ(again.cbServer->currentIndex(), 0);
    EXPECT_EQ(again.cbServer->currentText(), QStringLiteral("gnudb.gnudb.org"));
}

TEST_F(QueryCDDBDialogTest, WaitWindowCaptions)
{
    TfrmStopQuery wait(nullptr, 1, 2, handle); // not shown: no lookup starts
    EXPECT_EQ(wait.windowTitle(), QStringLiteral("Query CDDB..."));
    EXPECT_FALSE(wait.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(wait.windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_EQ(wait.lbQuery->text(), QStringLiteral("Query CDDB..."));
    EXPECT_FALSE(wait.lbQuery->isHidden());
    EXPECT_TRUE(wait.Label1->isHidden());
    EXPECT_EQ(wait.btStop->text(), QStringLiteral("Stop"));
    EXPECT_EQ(TQueryCDDBThread::Running(), 0);
}

TEST_F(QueryCDDBDialogTest, QueryAppliesTheResultAndClosesBothWindows)
{
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
    EXPECT_EQ(Query(d), QDialog::Accepted);
    EXPECT_FALSE(d.isVisible());
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].Artist, QStringLiteral("Some Band"));
    EXPECT_EQ(applied[0].Titles.at(2), QStringLiteral("Closing"));
    // Query stored the fields, the server as typed.
    EXPECT_EQ(OptionsSetting().QueryCDDB.Server, server.Address());
}

TEST_F(QueryCDDBDialogTest, NoMatchShowsTheHintAndCloseLeavesTheQueryDialogOpen)
{
    server.SetHandler([](const TCddbTestRequest&) { return Body(CddbAnswers::NoMatch()); });
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
    QStringList shown;
    QString button;
    Query(d, [&](TfrmStopQuery& wait) {
        ASSERT_TRUE(WaitUntil([&] { return wait.btStop->text() == QStringLiteral("Close"); }));
        for (QLabel* l : {wait.lbQuery, wait.Label1, wait.Label2, wait.Label3, wait.Label4}) {
            if (l->isVisible())
                shown << l->text();
        }
        button = wait.btStop->text();
        wait.btStop->click();
    });
    EXPECT_EQ(shown, (QStringList{QStringLiteral("No match found,perhaps:"),
                                  QStringLiteral("1.No information in CDDB server"),
                                  QStringLiteral("2.error CDDB options"),
                                  QStringLiteral("3.check the network")}));
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(applied.empty());
}

TEST_F(QueryCDDBDialogTest, FailedQueryClosesBothAndChangesNothing)
{
    server.SetHandler(
        [](const TCddbTestRequest&) { return Body("500 Command syntax error.\r\n"); });
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
    EXPECT_EQ(Query(d), QDialog::Accepted);
    EXPECT_TRUE(applied.empty());
}

TEST_F(QueryCDDBDialogTest, SeveralMatchesAreAppliedOnlyAsTheUserChooses)
{
    QStringList list{QStringLiteral("rock 07003202 Wrong / Band"),
                     QStringLiteral("misc 07003202 Some Band / Two")};
    for (int i = 2; i < 1000; ++i)
        list << QStringLiteral("jazz %1 Band %2").arg(i, 8, 16, QLatin1Char('0')).arg(i);
    server.SetHandler([list](const TCddbTestRequest& r) {
        return r.Command.startsWith(QStringLiteral("cddb query"))
                   ? Body(CddbAnswers::List(211, list))
                   : FullAnswers(r);
    });
    // Chosen: the second row; declined: Cancel, which is Stop.
    for (const bool choose : {true, false}) {
        applied.clear();
        TfrmQueryCDDB d(nullptr, 1, 2, handle);
        d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
        QStringList row;
        int rows = 0;
        int scroll = 0;
        int result = 0;
        WhileModal([&] { result = Query(d); },
                   [&](QWidget& modal) {
                       auto* chooser = qobject_cast<TfrmChooseCddbMatch*>(&modal);
                       if (chooser == nullptr)
                           return;
                       QTreeWidget* l = chooser->lvMatches;
                       row << l->topLevelItem(1)->text(0) << l->topLevelItem(1)->text(1)
                           << l->topLevelItem(1)->text(2);
                       rows = l->topLevelItemCount();
                       scroll = l->verticalScrollBar()->maximum();
                       EXPECT_TRUE(applied.empty());
                       l->setCurrentItem(l->topLevelItem(1));
                       (choose ? chooser->btOK : chooser->btCancel)->click();
                   });
        EXPECT_EQ(row, (QStringList{QStringLiteral("misc"), QStringLiteral("07003202"),
                                    QStringLiteral("Some Band / Two")}));
        EXPECT_EQ(rows, kCddbMaxMatches); // capped, and the list scrolls
        EXPECT_GT(scroll, 0);
        EXPECT_EQ(result, choose ? QDialog::Accepted : -1);
        EXPECT_EQ(server.Requests().back().Command,
                  choose ? QStringLiteral("cddb read misc ") + kId
                         : QStringLiteral("cddb query 07003202 2 150 2400 52"));
        ASSERT_EQ(applied.size(), choose ? 1u : 0u);
        if (choose) {
            EXPECT_EQ(applied[0].Titles.at(1), QStringLiteral("Opening"));
        }
    }
}

TEST_F(QueryCDDBDialogTest, StopDuringASlowAnswerReturnsAtOnceAndChangesNothing)
{
    // The query is answered, the read crawls: Stop comes while the record trickles in.
    server.SetHandler([](const TCddbTestRequest& r) {
        if (r.Command.startsWith(QStringLiteral("cddb query")))
            return FullAnswers(r);
        TCddbTestAnswer drip;
        drip.Kind = TCddbTestAnswer::Drip;
        drip.Body = FullAnswers(r).Body;
        drip.DripInterval = 1s;
        return drip;
    });
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
    qint64 stopMs = -1;
    bool hiddenAtOnce = false;
    Query(d, [&](TfrmStopQuery& wait) {
        ASSERT_TRUE(WaitUntil([&] { return server.Requests().size() == 2; }));
        QElapsedTimer t;
        t.start();
        wait.btStop->click();
        hiddenAtOnce = !wait.isVisible();
        stopMs = t.elapsed();
    });
    EXPECT_TRUE(hiddenAtOnce);
    EXPECT_GE(stopMs, 0);
    EXPECT_LT(stopMs, 200);
    EXPECT_TRUE(d.isVisible()); // the query dialog stays open
    EXPECT_TRUE(WaitUntil([] { return TQueryCDDBThread::Running() == 0; }));
    PumpEvents(200ms);
    EXPECT_TRUE(applied.empty());
    std::printf("Stop returned the window in %lld ms\n", static_cast<long long>(stopMs));
}

TEST_F(QueryCDDBDialogTest, EscapeIsStop)
{
    TCddbTestAnswer silent;
    silent.Kind = TCddbTestAnswer::Silent;
    server.SetHandler([silent](const TCddbTestRequest&) { return silent; });
    TfrmQueryCDDB d(nullptr, 1, 2, handle);
    d.ApplyResult = [&](const TDiscNames& r) { applied.push_back(r); };
    const int result = Query(d, [&](TfrmStopQuery& wait) {
        ASSERT_TRUE(WaitUntil([&] { return !server.Requests().empty(); }));
        wait.reject();
    });
    EXPECT_EQ(result, -1); // the query dialog did not finish
    EXPECT_TRUE(WaitUntil([] { return TQueryCDDBThread::Running() == 0; }));
    EXPECT_TRUE(applied.empty());
}
