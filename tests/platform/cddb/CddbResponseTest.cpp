#include <gtest/gtest.h>

#include "platform/cddb/CddbResponse.h"
#include "support/TestSupport.h"

TEST(CddbResponse, StatusLines)
{
    EXPECT_EQ(CddbStatusCode(QStringLiteral("200 rock 0a0b0c03 A / B")), 200);
    EXPECT_EQ(CddbStatusCode(QStringLiteral("202")), 202);
    EXPECT_EQ(CddbStatusCode(QStringLiteral("20 short")), -1);
    EXPECT_EQ(CddbStatusCode(QStringLiteral("2000 long")), -1);
    EXPECT_EQ(CddbStatusCode(QStringLiteral("HTTP/1.1 200 OK")), -1);
    EXPECT_EQ(CddbStatusCode(QString()), -1);
}

TEST(CddbResponse, QueryAnswers)
{
    const CddbQueryAnswer exact =
        ParseCddbQueryAnswer("200 rock 0a0b0c03 AC/DC / Back in Black\r\n", 10);
    ASSERT_TRUE(exact.Ok);
    ASSERT_EQ(exact.Matches.size(), 1u);
    EXPECT_EQ(exact.Matches[0].Category, QStringLiteral("rock"));
    EXPECT_EQ(exact.Matches[0].DiscId, QStringLiteral("0a0b0c03"));
    EXPECT_EQ(exact.Matches[0].Title, QStringLiteral("AC/DC / Back in Black"));

    for (const QByteArray& status : {QByteArray("210"), QByteArray("211")}) {
        const CddbQueryAnswer list = ParseCddbQueryAnswer(
            status + " Found matches, list follows\r\nrock 0a0b0c03 One\nnot-a-match-line\n"
                     "misc 1234abcd Two\r\n.\r\njazz 00000001 after the end\r\n",
            10);
        ASSERT_TRUE(list.Ok) << status.constData();
        ASSERT_EQ(list.Matches.size(), 2u);
        EXPECT_EQ(list.Matches[1].Category, QStringLiteral("misc"));
        EXPECT_EQ(list.Matches[1].Title, QStringLiteral("Two"));
    }

    const CddbQueryAnswer none = ParseCddbQueryAnswer("202 No match found.\r\n", 10);
    EXPECT_TRUE(none.Ok);
    EXPECT_EQ(none.Status, 202);
    EXPECT_TRUE(none.Matches.empty());

    for (const char* error :
         {"403 Database entry is corrupt.\r\n", "409 No handshake.\r\n",
          "500 Command syntax error.\r\n", "530 Server error\r\n", "201 odd\r\n"}) {
        const CddbQueryAnswer a = ParseCddbQueryAnswer(error, 10);
        EXPECT_FALSE(a.Ok) << error;
        EXPECT_GT(a.Status, 0) << error;
    }
}

TEST(CddbResponse, HostileQueryAnswers)
{
    EXPECT_FALSE(ParseCddbQueryAnswer("", 10).Ok);
    EXPECT_FALSE(ParseCddbQueryAnswer("<html>Welcome</html>\r\n", 10).Ok);
    EXPECT_FALSE(ParseCddbQueryAnswer(QByteArray("\x00\xff\xfe\x01\x89PNG", 8), 10).Ok);
    // A 200 whose match is no match.
    EXPECT_FALSE(ParseCddbQueryAnswer("200 rock\r\n", 10).Ok);
    EXPECT_FALSE(ParseCddbQueryAnswer("200 rock nothex Title\r\n", 10).Ok);

    // A list longer than the capacity keeps the first ten.
    QByteArray many = "211 close matches\r\n";
    for (int i = 0; i < 25; ++i)
        many += "misc " + QByteArray::number(i, 16).rightJustified(8, '0') + " Disc " +
                QByteArray::number(i) + "\r\n";
    const CddbQueryAnswer a = ParseCddbQueryAnswer(many + ".\r\n", 10);
    ASSERT_EQ(a.Matches.size(), 10u);
    EXPECT_EQ(a.Matches[9].DiscId, QStringLiteral("00000009"));
    // Cut short before the end marker: none of the list counts.
    const CddbQueryAnswer cut = ParseCddbQueryAnswer(many.left(63), 10);
    EXPECT_TRUE(cut.Cut);
    EXPECT_TRUE(cut.Matches.empty());
    // Category and id are tokens the read sends back: nothing odd gets through.
    EXPECT_TRUE(ParseCddbQueryAnswer("210 x\r\nro ck 0a0b0c03 T\r\n.\r\n", 10).Matches.empty());
    EXPECT_TRUE(ParseCddbQueryAnswer("210 x\r\nrock 0a0b0c03a T\r\n.\r\n", 10).Matches.empty());
}

TEST(CddbResponse, TextIsUtf8OrLatin1WithoutControlCharacters)
{
    // "Motörhead" in UTF-8 on one line, in ISO-8859-1 on the next; control characters gone.
    const QStringList lines = DecodeCddbLines(
        "DTITLE=Mot\xc3\xb6rhead\r\nDTITLE=Mot\xf6rhead\x07\x1b[31m\nA\tB\x7f\xc2\x85\n");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("DTITLE=Mot\u00f6rhead"));
    EXPECT_EQ(lines[1], QStringLiteral("DTITLE=Mot\u00f6rhead[31m"));
    EXPECT_EQ(lines[2], QStringLiteral("AB"));
}

TEST(CddbResponse, ReadAnswers)
{
    const CddbReadAnswer r = ParseCddbReadAnswer("210 rock 0a0b0c03 CD database entry follows\r\n# "
                                                 "xmcd\r\nDTITLE=A / B\r\nTTITLE0=One\r\n.\r\n",
                                                 32000);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Record, QStringLiteral("# xmcd\nDTITLE=A / B\nTTITLE0=One"));

    EXPECT_FALSE(ParseCddbReadAnswer("401 Specified CDDB entry not found.\r\n", 32000).Ok);
    EXPECT_FALSE(ParseCddbReadAnswer("403 Database entry is corrupt.\r\n", 32000).Ok);
    EXPECT_FALSE(ParseCddbReadAnswer("", 32000).Ok);
    EXPECT_FALSE(ParseCddbReadAnswer("200 rock 0a0b0c03 wrong status for a read\r\n", 32000).Ok);
    // A record cut short is refused whole: half a record would rename half the tracks.
    const CddbReadAnswer cut =
        ParseCddbReadAnswer("210 rock 0a0b0c03 entry\nTTITLE0=One\nTTITLE1=Tw", 32000);
    EXPECT_TRUE(cut.Cut);
    EXPECT_TRUE(cut.Record.isEmpty());
}

TEST(CddbResponse, RecordOverTheBufferIsRefusedNotCut)
{
    const QByteArray head = "210 rock 0a0b0c03 entry\r\n";
    // 31999 characters fit a 32000-character buffer with its terminating NUL; 32000 do not.
    const QByteArray fits = "TTITLE0=" + QByteArray(31999 - 8, 'x');
    const CddbReadAnswer ok = ParseCddbReadAnswer(head + fits + "\r\n.\r\n", 32000);
    ASSERT_TRUE(ok.Ok);
    EXPECT_EQ(ok.Record.size(), 31999);
    const CddbReadAnswer big = ParseCddbReadAnswer(head + fits + "y\r\n.\r\n", 32000);
    EXPECT_FALSE(big.Ok);
    EXPECT_TRUE(big.TooLong);
    EXPECT_TRUE(big.Record.isEmpty());
    // Characters count, not bytes: 20000 two-byte characters fit.
    const CddbReadAnswer wide = ParseCddbReadAnswer(
        head + "DTITLE=" + QByteArray(20000 * 2, 'x').replace("xx", "\xc3\xa9") + "\r\n.\r\n",
        32000);
    EXPECT_TRUE(wide.Ok);
}
