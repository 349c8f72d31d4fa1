// MusicBrainz: the disc id against an independent computation, and the discid answer parser on
// answers written for these tests.
#include <gtest/gtest.h>

#include "encoders/EncoderTestSupport.h"
#include "metadata/MusicBrainz.h"
#include "metadata/MusicBrainzLookup.h"
#include "platform/cdaccess/CdAccessTypes.h"
#include "platform/cddb/CddbDisc.h"
#include "support/CddbTestServer.h"
#include "support/TestSupport.h"

namespace {

/// The published algorithm in Python's hashlib: SHA-1 over the first and last track numbers and
/// 100 offsets (the lead-out first) in upper-case hex, base64 with ".", "_" and "-".
QString OracleId(int first, const CddbDisc& disc)
{
    QStringList args{
        QStringLiteral("-c"),
        QStringLiteral("import sys,hashlib,base64\n"
                       "f,l,lo=int(sys.argv[1]),int(sys.argv[2]),int(sys.argv[3])\n"
                       "o=[lo]+[0]*99\n"
                       "for i,x in enumerate(sys.argv[4:]): o[f+i]=int(x)\n"
                       "s='%02X%02X'%(f,l)+''.join('%08X'%x for x in o)\n"
                       "h=base64.b64encode(hashlib.sha1(s.encode()).digest()).decode()\n"
                       "print(h.replace('+','.').replace('/','_').replace('=','-'))")};
    args << QString::number(first) << QString::number(first + int(disc.Offsets.size()) - 1)
         << QString::number(disc.LeadOut);
    for (int32_t o : disc.Offsets)
        args << QString::number(o);
    const ProgramResult r = RunProgram(QStringLiteral("/usr/bin/python3"), args);
    return QString::fromUtf8(r.Out).trimmed();
}

TEST(MusicBrainzTest, DiscIdMatchesAnIndependentComputation)
{
    struct Case {
        int first;
        CddbDisc disc;
    };
    const Case cases[] = {
        {1, CddbDisc{{150, 13150, 27150}, 40150}},
        {2, CddbDisc{{150, 13150, 27150}, 40150}}, // a disc whose first track is not 1
        {1, CddbDisc{{182}, 22000}},
        {1, CddbDisc{{150, 20000, 40000, 60000, 80000, 100000, 120000, 140000, 160000, 180000,
                      200000, 220000},
                     331000}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MusicBrainzDiscId(c.disc, c.first), OracleId(c.first, c.disc)) << c.first;
    // The id python3-libdiscid gives this table (its binding refuses a first track other than 1).
    EXPECT_EQ(MusicBrainzDiscId(CddbDisc{{150, 13150, 27150}, 40150}, 1),
              QStringLiteral("mJn_VQFzWVUCsA.kW8RQi8LX_gA-"));
    EXPECT_EQ(MusicBrainzDiscId(CddbDisc{{}, 40150}, 1), QString());
}

TEST(MusicBrainzTest, AnEnhancedCdIsIdentifiedByItsAudioSession)
{
    const auto entry = [](int minutes, bool data) {
        TocEntry e;
        e.AdrControl = data ? 0x14 : 0x10;
        e.Address = {0, static_cast<uint8_t>(minutes), 0, 0};
        return e;
    };
    TocRecord toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 3;
    toc.Entries[0] = entry(1, false);
    toc.Entries[1] = entry(3, false);
    toc.Entries[2] = entry(10, true);
    toc.Entries[3] = entry(20, false); // the lead-out
    std::optional<TMbToc> mb = MusicBrainzToc(toc);
    ASSERT_TRUE(mb.has_value());
    EXPECT_EQ(mb->Offsets, (std::vector<int32_t>{4500, 13500}));
    EXPECT_EQ(mb->LeadOut, 45000 - 11400);
    toc.Entries[2] = entry(10, false); // an audio track in its place counts
    mb = MusicBrainzToc(toc);
    ASSERT_TRUE(mb.has_value());
    EXPECT_EQ(mb->Offsets.size(), 3u);
    EXPECT_EQ(mb->LeadOut, 90000);
}

const char* kTwoReleases = R"({"id":"DISC-A","releases":[
 {"id":"r1","title":"Album","date":"1999-05-01","country":"GB","barcode":"123",
  "artist-credit":[{"name":"A","joinphrase":" & ","artist":{"id":"a1","name":"A"}},
                   {"name":"B","joinphrase":"","artist":{"id":"a2","name":"B"}}],
  "media":[{"position":1,"track-count":3,"discs":[{"id":"OTHER"}],
            "tracks":[{"id":"t1","position":1,"title":"One"}]},
           {"position":2,"track-count":3,"discs":[{"id":"DISC-A"}],
            "tracks":[{"id":"t21","position":1,"title":"AC/DC \u05e9\u05dc\u05d5\u05dd",
                       "recording":{"id":"rec21"}},
                      {"id":"t22","position":2,"title":null,"recording":{"title":"Rec"}},
                      {"id":"t23","position":3,"title":"Tab\there"}]}]},
 {"id":"r2","title":"Other","artist-credit":[{"name":"C"}],
  "media":[{"position":1,"track-count":3,"discs":[],"tracks":[{"position":1,"title":"X"}]}]},
 {"id":"r3","title":"No medium","media":[]}]})";

TEST(MusicBrainzTest, ReleasesTakeTheMediumHoldingTheDisc)
{
    const auto releases = ParseMusicBrainzDisc(kTwoReleases, QStringLiteral("DISC-A"), 3);
    ASSERT_TRUE(releases.has_value());
    ASSERT_EQ(releases->size(), 2u); // r3 has no medium for the disc
    const TMbRelease& r = (*releases)[0];
    EXPECT_EQ(r.Title, QStringLiteral("Album"));
    EXPECT_EQ(r.Artist, QStringLiteral("A & B"));
    EXPECT_EQ(r.ArtistId, QStringLiteral("a1"));
    EXPECT_EQ(r.Year, QStringLiteral("1999"));
    EXPECT_EQ(r.MediumPosition, 2);
    EXPECT_EQ(r.MediumCount, 2);
    ASSERT_EQ(r.Tracks.size(), 3u);
    EXPECT_EQ(r.Tracks[0].Title, QString::fromUtf8("AC/DC \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d"));
    EXPECT_EQ(r.Tracks[0].Id, QStringLiteral("t21"));
    EXPECT_EQ(r.Tracks[0].RecordingId, QStringLiteral("rec21"));
    EXPECT_EQ(r.Tracks[1].Title, QStringLiteral("Rec"));
    EXPECT_EQ(r.Tracks[2].Title, QStringLiteral("Tab here"));
    // Matched by track count; a medium listing fewer titles than the disc has tracks.
    EXPECT_EQ((*releases)[1].Tracks.size(), 1u);
}

TEST(MusicBrainzTest, MalformedAnswersAreRefused)
{
    for (const char* bad :
         {"", "{", "[]", "{\"error\":\"Not Found\"}", "{\"releases\":5}", "\xff\xfe{}"}) {
        QString why;
        EXPECT_FALSE(ParseMusicBrainzDisc(bad, QStringLiteral("X"), 3, &why).has_value()) << bad;
        EXPECT_FALSE(why.isEmpty());
    }
    const auto none = ParseMusicBrainzDisc("{\"releases\":[]}", QStringLiteral("X"), 3);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
}

} // namespace

namespace {

QByteArray Http(int status, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + headers +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

TEST(MusicBrainzTest, LookupAndCoverAgainstAStandIn)
{
    TCddbTestServer server([](const TCddbTestRequest& r) {
        TCddbTestAnswer a;
        a.Kind = TCddbTestAnswer::Raw;
        const QByteArray t = r.Target;
        if (t.startsWith("/ws/2/discid/DISC-A?"))
            a.Body = Http(200, "Content-Type: application/json\r\n", kTwoReleases);
        else if (t == "/release/r1/front")
            a.Body = Http(307, "Location: /img/r1.jpg\r\n", {});
        else if (t == "/img/r1.jpg")
            a.Body = Http(200, "Content-Type: image/jpeg\r\n", "\xff\xd8\xff\xe0 jpeg");
        else if (t == "/release/text/front")
            a.Body = Http(200, "Content-Type: image/jpeg\r\n", "<html>not an image</html>");
        else if (t == "/release/big/front")
            a.Body = Http(200, {}, "\xff\xd8\xff" + QByteArray(11 << 20, 'x'));
        else if (t == "/release/file/front")
            a.Body = Http(302, "Location: file:///etc/passwd\r\n", {});
        else
            a.Body = Http(404, {}, "{\"error\":\"Not Found\"}");
        return a;
    });
    const QString base = QStringLiteral("http://") + server.Address();
    TMusicBrainzLookup lookup;
    std::optional<TMbLookupResult> result;
    const auto start = std::chrono::steady_clock::now();
    lookup.LookupDisc(base, QStringLiteral("DISC-A"), 3,
                      [&](const TMbLookupResult& r) { result = r; });
    ASSERT_TRUE(WaitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->Error, QString());
    EXPECT_EQ(result->Releases.size(), 2u);
    EXPECT_EQ(server.Requests().back().Target,
              "/ws/2/discid/DISC-A?inc=artist-credits+recordings&fmt=json");
    result.reset();
    lookup.LookupDisc(base, QStringLiteral("UNKNOWN"), 3,
                      [&](const TMbLookupResult& r) { result = r; });
    ASSERT_TRUE(WaitUntil([&] { return result.has_value(); }));
    EXPECT_EQ(result->Error, QString()); // not in the database is no failure
    EXPECT_TRUE(result->Releases.empty());
    // The service allows one request a second.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    struct Case {
        const char* release;
        bool image;
        bool error;
    };
    for (const Case c :
         {Case{"r1", true, false}, Case{"none", false, false}, Case{"text", false, true},
          Case{"big", false, true}, Case{"file", false, true}}) {
        std::optional<TCoverArt> cover;
        lookup.FetchCover(base, QString::fromUtf8(c.release),
                          [&](const TCoverArt& a) { cover = a; });
        ASSERT_TRUE(WaitUntil([&] { return cover.has_value(); })) << c.release;
        EXPECT_EQ(!cover->Image.isEmpty(), c.image) << c.release;
        EXPECT_EQ(!cover->Error.isEmpty(), c.error) << c.release << cover->Error.toStdString();
    }
}

} // namespace
