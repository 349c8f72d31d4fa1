#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "TestCdAudio.h"
#include "app/DiscInfoStore.h"
#include "app/MainForm.h"
#include "core/MessageBoxService.h"
#include "core/QtDialogServices.h"
#include "core/Settings.h"
#include "metadata/Genres.h"
#include "metadata/QueryCDDBThread.h"
#include "metadata/dialogs/frmChooseCddbMatch.h"
#include "metadata/dialogs/frmQueryCDDB.h"
#include "metadata/dialogs/frmStopQuery.h"
#include "metadata/id3tag.h"
#include "platform/drives/DriveQueries.h"
#include "platform/profile/ProfileFile.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

TCddbTestAnswer Body(const QByteArray& body)
{
    TCddbTestAnswer a;
    a.Body = body;
    return a;
}

TCddbTestAnswer Answers(const TCddbTestRequest& r)
{
    const QString id = QStringLiteral("05000802");
    if (r.Command.startsWith(QStringLiteral("cddb query")))
        return Body(CddbAnswers::Exact(QStringLiteral("rock"), id,
                                       QStringLiteral("Some Band / First Record")));
    return Body(CddbAnswers::Record(
        QStringLiteral("rock"), id,
        CddbAnswers::RecordLines(id, QStringLiteral("Some Band / First Record"),
                                 QStringLiteral("1999"), QStringLiteral("Rock"),
                                 {QStringLiteral("Opening"), QStringLiteral("Closing")})));
}

class CddbLookupTest : public ::testing::Test {
protected:
    void SetUp() override { ResetOptionsSetting(); }
    void TearDown() override
    {
        EXPECT_TRUE(TQueryCDDBThread::StopAllAndWait(20s));
        ResetOptionsSetting();
    }

    /// Runs the CDDB command as a user would: type the local server, press Query.
    void LookUp(TMainForm& f)
    {
        QTimer probe;
        bool pressed = false;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            auto* query = qobject_cast<TfrmQueryCDDB*>(QApplication::activeModalWidget());
            if (query != nullptr && !pressed) {
                pressed = true;
                query->cbServer->setEditText(server.Address());
                query->btQuery->click();
            }
        });
        probe.start(1);
        f.aQueryCDDB->trigger(); // returns when both windows have closed
        probe.stop();
        EXPECT_TRUE(pressed);
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TCddbTestServer server{Answers};
};

} // namespace

TEST_F(CddbLookupTest, NamesReachTheListTheDiscFileAndTheTagsOfTheNextRip)
{
    MakeProgramDisc(dir, "Demo", {300, 300});
    QString key;
    {
        TMainForm f;
        f.Controller().ShowNoDeviceHint = [] {};
        f.show();
        ASSERT_EQ(f.Controller().Tracks().Count(), 2);
        key = DiscKey();
        ASSERT_FALSE(key.isEmpty());
        LookUp(f);
        EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(f.Controller().Tracks().Row(0).Title, QStringLiteral("Opening"));
        EXPECT_EQ(f.Controller().Tracks().Row(1).Title, QStringLiteral("Closing"));
        const TCDInfo& info = OptionsSetting().CDInfo;
        EXPECT_EQ(info.Artist, QStringLiteral("Some Band"));
        EXPECT_EQ(info.Album, QStringLiteral("First Record"));
        EXPECT_EQ(info.Year, QStringLiteral("1999"));
        EXPECT_EQ(info.Genre, GenrePositionOf(QStringLiteral("Rock")));
        // What the user typed is what the settings keep.
        EXPECT_EQ(OptionsSetting().QueryCDDB.Server, server.Address());
        f.close();
    }
    const TProfileFile discs(CdInfoFilePath());
    EXPECT_EQ(discs.ReadString(key, QStringLiteral("Artist"), {}), QStringLiteral("Some Band"));
    EXPECT_EQ(discs.ReadString(key, QStringLiteral("Album"), {}), QStringLiteral("First Record"));
    EXPECT_EQ(discs.ReadString(key, QStringLiteral("Year"), {}), QStringLiteral("1999"));
    EXPECT_EQ(discs.ReadInteger(key, QStringLiteral("Genre"), -1),
              GenrePositionOf(QStringLiteral("Rock")));
    EXPECT_EQ(discs.ReadString(key, QStringLiteral("2"), {}), QStringLiteral("Closing"));

    // The next run rips track 2 to MP3 with a tag made of those names.
    TMainForm f;
    f.Controller().ShowNoDeviceHint = [] {};
    f.show();
    ASSERT_EQ(f.Controller().Tracks().Row(1).Title, QStringLiteral("Closing"));
    OptionsSetting().CommonOptions.OutputFormat = ofMP3;
    OptionsSetting().ID3.Use = true;
    const QString out = OptionsSetting().CommonOptions.OutputFolder;
    ASSERT_TRUE(QDir().mkpath(out));
    f.Controller().Tracks().SetTicked(0, false);
    f.ActionExtract->trigger();
    Tid3tag tag;
    ASSERT_LT(tag.ReadTag(out + QStringLiteral("/Closing.mp3")), 256);
    EXPECT_EQ(tag.Title(), QStringLiteral("Closing"));
    EXPECT_EQ(tag.Artist(), QStringLiteral("Some Band"));
    EXPECT_EQ(tag.Album(), QStringLiteral("First Record"));
    EXPECT_EQ(tag.Year(), QStringLiteral("1999"));
    EXPECT_EQ(tag.Genre, GenreToByte(GenrePositionOf(QStringLiteral("Rock"))));
    f.close();
}

TEST_F(CddbLookupTest, UnreadableTableOfContentsIsReported)
{
    TMainController c;
    int first = -1;
    int last = -1;
    EXPECT_FALSE(c.ReadTocForCddb(first, last)); // no drive open
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral("Error while reading TOC information!")});
    EXPECT_EQ(boxes.Shown().back().Icon, MbIcon::Error);
}

TEST_F(CddbLookupTest, AFailedLookupSaysWhyInTheStatusBarAndKeepsTheNames)
{
    const QByteArray busy = "500 Internal server error: the database is being rebuilt after a disk "
                            "failure, please try again later or ask one of the mirrors";
    TCddbTestRequest read;
    read.Command = QStringLiteral("cddb read rock 05000802");
    TCddbTestAnswer cut; // the record breaks off after its second title
    cut.Kind = TCddbTestAnswer::CloseDelimited;
    cut.Body = Answers(read).Body.left(Answers(read).Body.indexOf("TTITLE1=") + 10);
    MakeProgramDisc(dir, "Demo", {300, 300});
    TMainForm f;
    f.show();
    auto* status = f.findChild<QLabel*>(QStringLiteral("StatusPanel"));
    f.Controller().RenameRow(0, QStringLiteral("Mine"));
    const int width = f.width();
    for (const auto& [answer, reason] :
         {std::pair{Body(busy + "\r\n"),
                    QStringLiteral("the server answered \"%1\"").arg(QString::fromLatin1(busy))},
          std::pair{cut,
                    QStringLiteral("the server closed the connection before the answer's end")}}) {
        server.SetHandler([answer](const TCddbTestRequest& r) {
            return r.Command.startsWith(QStringLiteral("cddb query")) ? Answers(r) : answer;
        });
        LookUp(f);
        EXPECT_EQ(status->text(), QStringLiteral("CDDB lookup failed: ") + reason);
        EXPECT_EQ(f.Controller().Tracks().Row(0).Title, QStringLiteral("Mine"));
        EXPECT_EQ(f.Controller().Tracks().Row(1).Title, QStringLiteral("Track02"));
        EXPECT_TRUE(OptionsSetting().CDInfo.Artist.isEmpty());
        PumpEvents();
        EXPECT_EQ(f.width(), width); // a long message does not widen the window
    }
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(CddbLookupTest, TextFromTheServerAndDiscNamesIsShownAsTextNeverAsMarkup)
{
    const QString big = QStringLiteral("<font size=7 color=red>PLAYING HTML</font> &amp; co");
    const QString fake =
        QStringLiteral("<h1>FAKE</h1><img src=\"file:///usr/share/pixmaps/x.png\">");
    server.SetHandler([&](const TCddbTestRequest& r) {
        const QString id = QStringLiteral("05000802");
        if (r.Command.startsWith(QStringLiteral("cddb query")))
            return Body(CddbAnswers::List(211, {QStringLiteral("<b>rock</b> %1 %2").arg(id, big),
                                                QStringLiteral("misc %1 Other").arg(id)}));
        QStringList lines = CddbAnswers::RecordLines(id, big, QStringLiteral("<i>1999</i>"),
                                                     QStringLiteral("<b>Rock</b>"), {fake, big});
        lines << QStringLiteral("EXTD=") + fake; // shown nowhere
        return Body(CddbAnswers::Record(QStringLiteral("rock"), id, lines));
    });
    MakeProgramDisc(dir, "<h1>Demo<u>Img", {300, 300}); // as much as a drive name holds
    TestCdAudioScope audio;
    TMainForm f;
    f.show();
    auto* status = f.findChild<QLabel*>(QStringLiteral("StatusPanel"));
    EXPECT_EQ(status->text(), QStringLiteral("Image <h1>Demo<u>Img"));
    EXPECT_TRUE(DrawsAsPlainText(status));

    QStringList cells; // the chooser's, then the list's: item views draw plain text
    WhileModal([&] { LookUp(f); },
               [&](QWidget& modal) {
                   if (auto* chooser = qobject_cast<TfrmChooseCddbMatch*>(&modal)) {
                       cells << chooser->lvMatches->topLevelItem(0)->text(0)
                             << chooser->lvMatches->topLevelItem(0)->text(2);
                       chooser->btOK->click();
                   }
               });
    cells << f.ListView1->model()->index(0, 1).data().toString();
    EXPECT_EQ(cells, (QStringList{QStringLiteral("<b>rock</b>"), big, fake}));
    EXPECT_EQ(OptionsSetting().CDInfo.Genre, -1); // no genre is named "<b>Rock</b>"

    f.ListView1->setCurrentIndex(f.ListView1->model()->index(1, 0));
    f.aPlay->trigger();
    EXPECT_EQ(status->text(), QStringLiteral("Play ") + big);
    EXPECT_TRUE(DrawsAsPlainText(status));
    f.aStop->trigger();

    server.SetHandler(
        [&](const TCddbTestRequest&) { return Body("500 " + big.toUtf8() + "\r\n"); });
    LookUp(f);
    EXPECT_EQ(status->text(),
              QStringLiteral("CDDB lookup failed: the server answered \"500 %1\"").arg(big));
    EXPECT_TRUE(DrawsAsPlainText(status));

    // The rip's "not a valid file name" box, as the program shows it.
    ASSERT_TRUE(QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder));
    f.Controller().Tracks().SetTicked(1, false);
    QtMessageBoxService real;
    IMessageBoxService* scripted = InstallMessageBoxService(&real);
    QStringList texts;
    WhileModal([&] { f.ActionExtract->trigger(); },
               [&](QWidget& modal) {
                   if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                       auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
                       texts << text->text()
                             << (DrawsAsPlainText(text) ? QStringLiteral("plain")
                                                        : QStringLiteral("markup"));
                       box->accept();
                   }
               });
    InstallMessageBoxService(scripted);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(fake + QStringLiteral(".wav is not a valid file name.")));
    EXPECT_EQ(texts[1], QStringLiteral("plain"));
}
