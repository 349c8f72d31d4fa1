// A disc names itself from a stand-in MusicBrainz and Cover Art Archive on 127.0.0.1: the
// window, the lookup runner and the header as the user meets them.
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "app/CoverStore.h"
#include "app/DiscHeader.h"
#include "app/DiscInfoStore.h"
#include "app/DiscLookupRunner.h"
#include "app/MainForm.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/profile/ProfileFile.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

QByteArray Http(int status, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

TCddbTestAnswer Raw(const QByteArray& response)
{
    TCddbTestAnswer a;
    a.Kind = TCddbTestAnswer::Raw;
    a.Body = response;
    return a;
}

/// A release of a two-track disc.
QByteArray Release(const char* id, const char* title, const char* first, const char* second)
{
    return QByteArray(R"({"id":")") + id + R"(","title":")" + title +
           R"(","date":"2001-02-03","country":"GB","barcode":"5012345678900",
       "artist-credit":[{"name":"Some Band","joinphrase":" & "},{"name":"Guest"}],
       "media":[{"position":1,"track-count":2,"discs":[],"tracks":[
         {"id":"t1","position":1,"title":")" +
           first + R"(","recording":{"id":"rec-1"}},
         {"id":"t2","position":2,"title":")" +
           second + R"(","recording":{"id":"rec-2"}}]}]})";
}

const QByteArray kOne =
    "{\"releases\":[" + Release("rel-1", "First Record", "Opening", "Closing") + "]}";
const QByteArray kTwo = "{\"releases\":[" + Release("rel-1", "First Record", "Opening", "Closing") +
                        "," + Release("rel-2", "Reissue", "Uno", "Dos") + "]}";

QByteArray Jpeg()
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

/// The service for any disc id with discid's answer, and each release's cover behind a
/// redirect, as the archive serves it.
TCddbTestServer::Handler Serve(const QByteArray& discid)
{
    return [discid, jpeg = Jpeg()](const TCddbTestRequest& r) {
        if (r.Target.startsWith("/ws/2/discid/"))
            return Raw(Http(200, "Content-Type: application/json\r\n", discid));
        if (r.Target.startsWith("/release/"))
            return Raw(Http(307, "Location: /images/front.jpg\r\n", {}));
        if (r.Target == "/images/front.jpg")
            return Raw(Http(200, "Content-Type: image/jpeg\r\n", jpeg));
        return Raw(Http(404, {}, {}));
    };
}

class MusicBrainzNamesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        const QByteArray base = "http://" + server.Address().toLatin1();
        WriteWholeFile(dir.File(QStringLiteral("options.ini")), "[MusicBrainz]\r\nServer=" + base +
                                                                    "\r\nCoverArtServer=" + base +
                                                                    "\r\nAutoLookup=1\r\n");
    }
    void TearDown() override { ResetOptionsSetting(); }

    static QString Title(TMainForm& f, int row) { return f.Controller().Tracks().Row(row).Title; }
    static QString Stored(const QString& key, const char* name)
    {
        return TProfileFile(CdInfoFilePath()).ReadString(key, QString::fromLatin1(name), {});
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TCddbTestServer server{Serve(kOne)};
};

} // namespace

TEST_F(MusicBrainzNamesTest, ANewDiscNamesItselfAndKeepsItsNamesAndCover)
{
    MakeProgramDisc(dir, "Demo", {300, 300});
    QString key;
    {
        TMainForm f;
        QElapsedTimer clock;
        qint64 toNames = -1;
        QObject::connect(&f.Names(), &TDiscLookupRunner::RunningChanged, [&](bool running) {
            if (running)
                clock.start();
        });
        QObject::connect(&f.Controller(), &TMainController::NamesChanged, [&] {
            if (f.Controller().NamesSource() == TNamesSource::MusicBrainz && toNames < 0)
                toNames = clock.elapsed();
        });
        f.show();
        key = f.Controller().LoadedDiscKey();
        ASSERT_TRUE(WaitUntil([&] { return Title(f, 1) == QStringLiteral("Closing"); }));
        ASSERT_TRUE(WaitUntil([&] { return !f.Names().Running(); }));
        std::printf("MusicBrainz lookup, request to names in the list: %lld ms\n",
                    static_cast<long long>(toNames));
        EXPECT_LT(toNames, 1000);
        EXPECT_EQ(Title(f, 0), QStringLiteral("Opening"));
        const TCDInfo& info = OptionsSetting().CDInfo;
        EXPECT_EQ(info.Artist, QStringLiteral("Some Band & Guest"));
        EXPECT_EQ(info.Album, QStringLiteral("First Record"));
        EXPECT_EQ(info.Year, QStringLiteral("2001"));
        EXPECT_EQ(f.DiscHeader1->eAlbum->text(), QStringLiteral("First Record"));
        EXPECT_EQ(f.DiscHeader1->lbSource->text(), QStringLiteral("Names from MusicBrainz"));
        EXPECT_TRUE(
            CoverFilePath(key).endsWith(QStringLiteral("covers/") + key + QStringLiteral(".jpg")));
        EXPECT_FALSE(f.DiscHeader1->lbCover->pixmap().isNull());
        EXPECT_EQ(f.Controller().StatusText(), QStringLiteral("Image Demo"));
        EXPECT_TRUE(boxes.Shown().empty());
        f.close();
    }
    EXPECT_EQ(Stored(key, "2"), QStringLiteral("Closing"));
    EXPECT_EQ(Stored(key, "Source"), QStringLiteral("MusicBrainz"));
    EXPECT_EQ(Stored(key, "MusicBrainzAlbumId"), QStringLiteral("rel-1"));
    EXPECT_EQ(Stored(key, "MusicBrainzTrackId2"), QStringLiteral("rec-2"));
    EXPECT_EQ(Stored(key, "AlbumArtist"), QStringLiteral("Some Band & Guest"));
}

TEST_F(MusicBrainzNamesTest, TheReleaseChosenIsRememberedForTheDisc)
{
    server.SetHandler(Serve(kTwo));
    MakeProgramDisc(dir, "Demo", {300, 300});
    std::vector<int> offered; // the release each chooser offered first
    const auto chooseSecond = [&](const std::vector<TDiscCandidate>& releases, int preselected) {
        EXPECT_EQ(releases.size(), 2u);
        offered.push_back(preselected);
        return 1;
    };
    QString key;
    {
        TMainForm f;
        f.Names().Choose = chooseSecond;
        f.show();
        key = f.Controller().LoadedDiscKey();
        ASSERT_TRUE(WaitUntil([&] { return Title(f, 1) == QStringLiteral("Dos"); }));
        f.close();
    }
    EXPECT_EQ(Stored(key, "MusicBrainzAlbumId"), QStringLiteral("rel-2"));
    TMainForm f;
    f.Names().Choose = chooseSecond;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    PumpEvents();
    EXPECT_FALSE(f.Names().Running()); // the disc has names: no lookup of its own
    f.aQueryMusicBrainz->trigger();
    ASSERT_TRUE(WaitUntil([&] { return !f.Names().Running(); }));
    EXPECT_EQ(offered, (std::vector<int>{-1, 1}));
    EXPECT_TRUE(boxes.Shown().empty()); // names from the service are no typed names
    f.close();
}

TEST_F(MusicBrainzNamesTest, TypedNamesAreReplacedOnlyWhenTheUserSaysSo)
{
    MakeProgramDisc(dir, "Demo", {300, 300});
    TMainForm f;
    bool modal = true; // the answer comes while another window is open
    f.Names().MayInterrupt = [&] { return !modal; };
    f.show();
    ASSERT_TRUE(WaitUntil([&] { return f.Names().Waiting(); }));
    f.Controller().RenameRow(0, QStringLiteral("Mine"));
    modal = false;
    f.Names().Resume();
    EXPECT_FALSE(f.Names().Running());
    EXPECT_EQ(Title(f, 0), QStringLiteral("Mine"));
    EXPECT_EQ(Title(f, 1), QStringLiteral("Track02"));
    EXPECT_TRUE(OptionsSetting().CDInfo.Artist.isEmpty());

    for (const auto& [answer, title] : {std::pair{MbAnswer::No, QStringLiteral("Mine")},
                                        std::pair{MbAnswer::Yes, QStringLiteral("Opening")}}) {
        boxes.Clear();
        boxes.PlanAnswer(answer);
        f.aQueryMusicBrainz->trigger();
        ASSERT_TRUE(WaitUntil([&] { return !f.Names().Running(); }));
        EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral(
                                     "Replace the names typed for this disc with the names from "
                                     "MusicBrainz?")});
        EXPECT_EQ(Title(f, 0), title);
    }
    f.close();
}

TEST_F(MusicBrainzNamesTest, ADiscLeftMidLookupGetsNothingAndClosingMidLookupIsSafe)
{
    MakeProgramDisc(dir, "A", {300, 300});
    MakeProgramDisc(dir, "B", {150, 150, 150}); // no medium of the answer has three tracks
    TMainForm f;
    bool modal = true;
    f.Names().MayInterrupt = [&] { return !modal; };
    f.show();
    const QString keyA = f.Controller().LoadedDiscKey();
    ASSERT_TRUE(WaitUntil([&] { return f.Names().Waiting(); }));
    f.Controller().UseDrive(OpenDrive(1));
    ASSERT_NE(f.Controller().LoadedDiscKey(), keyA);
    modal = false;
    f.Names().Resume();
    ASSERT_TRUE(WaitUntil([&] { return server.Requests().size() >= 2 && !f.Names().Running(); }));
    EXPECT_EQ(Title(f, 0), QStringLiteral("Track01"));
    EXPECT_TRUE(OptionsSetting().CDInfo.Artist.isEmpty());
    EXPECT_TRUE(Stored(keyA, "Source").isEmpty());
    EXPECT_EQ(Stored(keyA, "1"), QStringLiteral("Track01"));

    server.SetHandler([](const TCddbTestRequest&) {
        TCddbTestAnswer a;
        a.Kind = TCddbTestAnswer::Silent;
        return a;
    });
    f.aQueryMusicBrainz->trigger();
    EXPECT_TRUE(f.Names().Running());
    f.close();
    EXPECT_FALSE(f.Names().Running());
    PumpEvents();
}

TEST_F(MusicBrainzNamesTest, BadAnswersEndInTheStatusBarAndLeaveTheNames)
{
    MakeProgramDisc(dir, "Demo", {300, 300});
    TMainForm f;
    OptionsSetting().MusicBrainz.AutoLookup = false;
    f.show();
    const auto json = [](const QByteArray& body) {
        return [body](const TCddbTestRequest& r) {
            return r.Target.startsWith("/ws/2/")
                       ? Raw(Http(200, "Content-Type: application/json\r\n", body))
                       : Raw(Http(404, {}, {})); // no cover
        };
    };
    auto busy = std::make_shared<std::atomic<int>>(0); // a 503 the first time only
    const auto once503 = [busy](const TCddbTestRequest& r) {
        if (r.Target.startsWith("/ws/2/") && ++*busy == 1)
            return Raw(Http(503, "Retry-After: 1\r\n", {}));
        return Serve(kOne)(r);
    };
    const auto silent = [](const TCddbTestRequest&) {
        TCddbTestAnswer a;
        a.Kind = TCddbTestAnswer::Silent;
        return a;
    };
    const QString failed = QStringLiteral("MusicBrainz lookup failed: ");
    struct Case {
        TCddbTestServer::Handler handler;
        QString status; ///< how the status bar starts
        const char* title;
    };
    const Case cases[] = {
        {json("{\"releases\":[{"), failed + QStringLiteral("the answer is not JSON"), "Track01"},
        {json("{\"releases\":[\"" + QByteArray(5 << 20, 'x') + "\"]}"),
         failed + QStringLiteral("the answer is larger than"), "Track01"},
        {json("{\"releases\":[]}"), QStringLiteral("MusicBrainz has no names for this disc."),
         "Track01"},
        {json(R"({"releases":[{"id":"r","title":"No media"}]})"),
         QStringLiteral("MusicBrainz has no names for this disc."), "Track01"},
        {json(R"({"releases":[{"id":"r","media":[{"track-count":2,"tracks":[{"title":null}]}]}]})"),
         QStringLiteral("Image Demo"), "Track01"},
        {once503, QStringLiteral("Image Demo"), "Opening"},
        {silent, failed + QStringLiteral("the server did not answer in time"), "Opening"},
    };
    for (const Case& c : cases) {
        f.Controller().SetStatusText(QStringLiteral("Image Demo"));
        server.SetHandler(c.handler);
        f.aQueryMusicBrainz->trigger();
        ASSERT_TRUE(WaitUntil([&] { return !f.Names().Running(); }, std::chrono::seconds(30)));
        EXPECT_TRUE(f.Controller().StatusText().startsWith(c.status))
            << f.Controller().StatusText().toStdString();
        EXPECT_EQ(Title(f, 0), QString::fromLatin1(c.title));
    }
    EXPECT_EQ(*busy, 2); // the 503 was asked again once, after its Retry-After
    EXPECT_TRUE(boxes.Shown().empty());
    f.close();
}

TEST_F(MusicBrainzNamesTest, TheHeaderEditsTheDiscsNamesInPlace)
{
    MakeProgramDisc(dir, "Demo", {300, 300});
    QString key;
    {
        TMainForm f;
        OptionsSetting().MusicBrainz.AutoLookup = false;
        TDiscHeader& h = *f.DiscHeader1;
        EXPECT_FALSE(h.eArtist->isEnabled()); // no disc yet: nothing to name
        f.show();
        key = f.Controller().LoadedDiscKey();
        EXPECT_EQ(h.lbSource->text(), QStringLiteral("No names yet"));
        EXPECT_EQ(h.lbCover->text(), QStringLiteral("No cover"));
        QTest::keyClicks(h.eArtist, QStringLiteral("<b>Me</b>"));
        h.cbGenre->setCurrentIndex(3);
        Q_EMIT h.cbGenre->activated(3);
        EXPECT_EQ(OptionsSetting().CDInfo.Artist, QStringLiteral("<b>Me</b>"));
        EXPECT_EQ(OptionsSetting().CDInfo.Genre, 3);
        EXPECT_EQ(h.lbSource->text(), QStringLiteral("Names typed"));
        f.close();
    }
    EXPECT_EQ(Stored(key, "Artist"), QStringLiteral("<b>Me</b>"));
    EXPECT_EQ(Stored(key, "Genre"), QStringLiteral("3"));
    EXPECT_EQ(Stored(key, "Source"), QStringLiteral("Typed"));
}

TEST_F(MusicBrainzNamesTest, ACoverIsDecodedNoLargerThanShownAndAHugeOneNotAtAll)
{
    const auto encoded = [](const QImage& image, const char* format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        return bytes;
    };
    QImage gray(4200, 4100, QImage::Format_Grayscale8); // over 16 megapixels
    gray.fill(0);
    const struct {
        QByteArray bytes;
        QString extension;
        QSize expected; // 0 x 0: refused
    } cases[] = {
        {encoded(gray.copy(0, 0, 300, 200), "PNG"), QStringLiteral("png"), QSize(96, 64)},
        {encoded(gray.copy(0, 0, 40, 20), "PNG"), QStringLiteral("png"), QSize(40, 20)},
        // A PNG of one colour is a few kilobytes whatever its size and cannot be shrunk while
        // it is decoded; a JPEG can.
        {encoded(gray, "PNG"), QStringLiteral("png"), QSize(0, 0)},
        {encoded(gray, "JPEG"), QStringLiteral("jpg"), QSize(96, 93)},
        {QByteArray("\x89PNG\r\n\x1a\n not an image"), QStringLiteral("png"), QSize(0, 0)},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SaveCover(QStringLiteral("12345"), c.bytes, c.extension));
        EXPECT_EQ(LoadCover(QStringLiteral("12345"), QSize(96, 96)).size(), c.expected)
            << c.bytes.size();
    }
}
