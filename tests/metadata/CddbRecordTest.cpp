#include <gtest/gtest.h>

#include "metadata/CddbRecord.h"
#include "metadata/Genres.h"
#include "support/TestSupport.h"

namespace {

TDiscNames Apply(const QStringList& records, int first, int last)
{
    TDiscNames result;
    for (const QString& r : records) {
        if (AddCddbRecord(ParseCddbRecord(r), first, last, result))
            break;
    }
    return result;
}

} // namespace

TEST(CddbRecord, DiscTitleSplitsArtistFromAlbum)
{
    EXPECT_EQ(SplitDTitle(QStringLiteral("Some Band / First Record")).Artist,
              QStringLiteral("Some Band"));
    EXPECT_EQ(SplitDTitle(QStringLiteral("Some Band / First Record")).Album,
              QStringLiteral("First Record"));
    // A "/" inside the artist's name stays there; the " / " separates.
    const TDiscTitle acdc = SplitDTitle(QStringLiteral("AC/DC / Back in Black"));
    EXPECT_EQ(acdc.Artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(acdc.Album, QStringLiteral("Back in Black"));
    const TDiscTitle tight = SplitDTitle(QStringLiteral("Artist/Album / Part 2"));
    EXPECT_EQ(tight.Artist, QStringLiteral("Artist/Album"));
    const TDiscTitle plain = SplitDTitle(QStringLiteral("Artist/Album"));
    EXPECT_EQ(plain.Artist, QStringLiteral("Artist"));
    EXPECT_EQ(plain.Album, QStringLiteral("Album"));
    // Without any "/" the value names both, as the record format has it.
    const TDiscTitle none = SplitDTitle(QStringLiteral("Self Titled"));
    EXPECT_EQ(none.Artist, QStringLiteral("Self Titled"));
    EXPECT_EQ(none.Album, QStringLiteral("Self Titled"));
}

TEST(CddbRecord, FieldsOfARecord)
{
    const TDiscNames r =
        Apply({QStringLiteral("# xmcd\n#\nDISCID=0a0b0c03\nDTITLE=Some Band / First Record\n"
                              "DYEAR= 1999 \nDGENRE=Rock\nTTITLE0=One\nTTITLE1=Two\n"
                              "TTITLE2=Three\nEXTD=\nEXTT0=\nPLAYORDER=\n")},
              1, 3);
    ASSERT_TRUE(r.HasTitles);
    EXPECT_EQ(r.Artist, QStringLiteral("Some Band"));
    EXPECT_EQ(r.Album, QStringLiteral("First Record"));
    EXPECT_EQ(r.Year, QStringLiteral("1999"));
    EXPECT_EQ(r.Genre, GenrePositionOf(QStringLiteral("Rock")));
    EXPECT_EQ(r.Titles, (std::map<int, QString>{{1, QStringLiteral("One")},
                                                {2, QStringLiteral("Two")},
                                                {3, QStringLiteral("Three")}}));
}

TEST(CddbRecord, ContinuedValuesAreJoinedAndTitlesTakenByKey)
{
    const TCddbRecord rec = ParseCddbRecord(QStringLiteral(
        "DTITLE=A Band With A Very Long Name / \nDTITLE=And An Album\nTTITLE0=First\n"
        "TTITLE1=A title long enough to \nTTITLE1=need two lines\nTTITLE2=Third\n"
        "TTITLE3=Back\\\\slash\\nand\\ttab\n"));
    EXPECT_EQ(rec.DTitle, QStringLiteral("A Band With A Very Long Name / And An Album"));
    EXPECT_EQ(rec.Titles.at(1), QStringLiteral("A title long enough to need two lines"));
    EXPECT_EQ(rec.Titles.at(2), QStringLiteral("Third")); // not shifted by the continuation
    EXPECT_EQ(rec.Titles.at(3), QStringLiteral("Back\\slash and tab"));
}

TEST(CddbRecord, DiscStartingAtTrackThreeTakesItsFirstTitleFromTheFirstKey)
{
    // Keys count the disc's tracks from 0, whatever number its first track has.
    const TDiscNames r =
        Apply({QStringLiteral("TTITLE0=Track three\nTTITLE1=Track four\nTTITLE2=Beyond\n")}, 3, 4);
    ASSERT_TRUE(r.HasTitles);
    EXPECT_EQ(r.Titles, (std::map<int, QString>{{3, QStringLiteral("Track three")},
                                                {4, QStringLiteral("Track four")}}));
}

TEST(CddbRecord, FewerTitlesThanTracksLeaveTheRestAlone)
{
    QString text;
    for (int i = 0; i < 8; ++i)
        text += QStringLiteral("TTITLE%1=Song %1\n").arg(i);
    const TDiscNames r = Apply({text}, 1, 10);
    ASSERT_TRUE(r.HasTitles);
    EXPECT_EQ(r.Titles.size(), 8u);
    EXPECT_EQ(r.Titles.count(9), 0u);
    EXPECT_EQ(r.Titles.count(10), 0u);
}

TEST(CddbRecord, GenreOutsideTheListSelectsNone)
{
    EXPECT_EQ(Apply({QStringLiteral("DGENRE=Neo-Baroque Vaporwave\nTTITLE0=x")}, 1, 1).Genre, -1);
    EXPECT_EQ(Apply({QStringLiteral("DGENRE=rock\nTTITLE0=x")}, 1, 1).Genre, -1); // case counts
    EXPECT_EQ(Apply({QStringLiteral("DGENRE=\nTTITLE0=x")}, 1, 1).Genre, -1); // not the empty entry
    EXPECT_EQ(Apply({QStringLiteral("DGENRE= Jazz \nTTITLE0=x")}, 1, 1).Genre,
              GenrePositionOf(QStringLiteral("Jazz")));
    // No DGENRE line: the genre stays as it was.
    EXPECT_FALSE(Apply({QStringLiteral("TTITLE0=x")}, 1, 1).Genre.has_value());
}

TEST(CddbRecord, HostileKeysAndLines)
{
    const TDiscNames r =
        Apply({QStringLiteral("TTITLE-1=negative\nTTITLE99=far out\nTTITLE4294967296=overflow\n"
                              "TTITLE01=leading zero\nTTITLEx=letters\nttitle1=lower case\n"
                              "no equals sign at all\n=empty key\nEXTD=TTITLE1=inside a value\n"
                              "TTITLE0=\x01Kept\x7f title\nTTITLE1=   \n\n\n")},
              1, 5);
    ASSERT_TRUE(r.HasTitles);
    // Only TTITLE0 names a track of this disc; the empty TTITLE1 leaves its row alone.
    EXPECT_EQ(r.Titles, (std::map<int, QString>{{1, QStringLiteral("Kept title")}}));
    EXPECT_FALSE(r.Artist.has_value());
}

TEST(CddbRecord, RecordsWithoutTheFirstTitleGiveNoTitles)
{
    // A DTITLE line without titles, and one whose only key is beyond the disc.
    const TDiscNames r =
        Apply({QStringLiteral("DTITLE=Only / Names"), QStringLiteral("TTITLE7=x")}, 1, 3);
    EXPECT_FALSE(r.HasTitles);
    EXPECT_TRUE(r.Titles.empty());
}

TEST(CddbRecord, LaterRecordsOverrideEarlierDiscFields)
{
    const TDiscNames r = Apply({QStringLiteral("DTITLE=First / Guess\nDYEAR=1990\nDGENRE=Jazz"),
                                QStringLiteral("DTITLE=Second / Guess\nTTITLE0=Song"),
                                QStringLiteral("DTITLE=Third / Never read\nTTITLE0=Other")},
                               1, 1);
    ASSERT_TRUE(r.HasTitles);
    EXPECT_EQ(r.Artist, QStringLiteral("Second"));
    EXPECT_EQ(r.Year, QStringLiteral("1990"));
    EXPECT_EQ(r.Genre, GenrePositionOf(QStringLiteral("Jazz")));
    EXPECT_EQ(r.Titles.at(1), QStringLiteral("Song"));
}
