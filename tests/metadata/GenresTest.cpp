// The genre list and the two fixed mappings between list positions and ID3v1 genre bytes.
#include <set>

#include <gtest/gtest.h>

#include "metadata/Genres.h"

TEST(Genres, ListHasAnEmptyEntryThen148SortedNames)
{
    const QStringList& list = GenreList();
    ASSERT_EQ(list.size(), 149);
    EXPECT_TRUE(list[0].isEmpty());
    EXPECT_EQ(list[1], QStringLiteral("A Cappella"));
    EXPECT_EQ(list[148], QStringLiteral("Vocal"));
    EXPECT_EQ(std::set<QString>(list.begin(), list.end()).size(), 149u);
    EXPECT_EQ(GenrePositionOf(QStringLiteral("Rock")), list.indexOf(QStringLiteral("Rock")));
    EXPECT_EQ(GenrePositionOf(QStringLiteral("rock")), -1); // case matters
}

TEST(Genres, EveryByteMapsToItsNameAndBack)
{
    // Each of the 148 bytes must land on a distinct list entry: a spelling that differs
    // between the two tables would show up here as position 0 or a collision.
    std::set<int> positions;
    for (int b = 0; b < GenreByteCount; ++b) {
        const int p = ByteToGenre(static_cast<uint8_t>(b));
        EXPECT_GT(p, 0) << b;
        positions.insert(p);
        EXPECT_EQ(GenreToByte(p), b) << b;
    }
    EXPECT_EQ(positions.size(), 148u);
    EXPECT_EQ(GenreNameAt(ByteToGenre(0)), QStringLiteral("Blues"));
    EXPECT_EQ(GenreNameAt(ByteToGenre(12)), QStringLiteral("Other"));
    EXPECT_EQ(GenreNameAt(ByteToGenre(147)), QStringLiteral("Synthpop"));
    EXPECT_EQ(GenreToByte(1), 123); // A Cappella
}

TEST(Genres, OutOfRangeValues)
{
    EXPECT_EQ(GenreToByte(0), 255);
    EXPECT_EQ(GenreToByte(149), 255);
    EXPECT_EQ(GenreToByte(255), 255); // the low byte of a genre setting of -1
    EXPECT_EQ(GenreToByte(-1), 255);
    EXPECT_EQ(ByteToGenre(148), 0);
    EXPECT_EQ(ByteToGenre(200), 0);
    EXPECT_EQ(ByteToGenre(255), 0);
    EXPECT_TRUE(GenreNameAt(149).isEmpty());
    EXPECT_TRUE(GenreNameAt(-1).isEmpty());
}
