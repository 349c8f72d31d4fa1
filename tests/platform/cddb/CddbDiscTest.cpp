#include <QDir>

#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/cdaccess/CdAccess.h"
#include "platform/cddb/CddbDisc.h"
#include "support/TestSupport.h"

namespace {

class CddbDiscTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(scope.File(QStringLiteral("discs")))); }
    void TearDown() override { CloseAllHandles(); }

    /// The CDDB view of an image, read through the CD-access layer as the lookup reads it.
    CddbDisc Disc(const std::vector<int64_t>& sectors,
                  const makedisc::DiscImageOptions& options = {})
    {
        MakeImage(scope.File(QStringLiteral("discs")), QStringLiteral("Disc"), sectors, options);
        const std::vector<ListedImage> images = ListedImages();
        EXPECT_EQ(images.size(), 1u);
        if (images.empty())
            return {};
        const int handle = GetCDHandle(HandleRequest::For(images.front().Entry));
        EXPECT_EQ(ModifyCDParms(handle, kCdpMsf, 1), 1);
        TocRecord toc;
        EXPECT_EQ(ReadTOC(handle, toc), 1);
        CloseCDHandle(handle);
        const std::optional<CddbDisc> disc = CddbDisc::FromToc(toc);
        EXPECT_TRUE(disc.has_value());
        return disc.value_or(CddbDisc{});
    }

    ProgramDirScope scope;
};

} // namespace

// Expected ids worked out by hand from the image layout (sectors + the 150-frame lead-in).
TEST_F(CddbDiscTest, OneTrack)
{
    // Track 1 at 150 (2 s: digit sum 2); lead-out 150 + 2250 = 2400 (32 s); t = 30 = 0x1e.
    const CddbDisc disc = Disc({2250});
    EXPECT_EQ(disc.Offsets, std::vector<int32_t>{150});
    EXPECT_EQ(disc.LeadOut, 2400);
    EXPECT_EQ(CddbDiscIdText(disc.DiscId()), QStringLiteral("02001e01"));
    EXPECT_EQ(disc.QueryCommand(), QStringLiteral("cddb query 02001e01 1 150 32"));
}

TEST_F(CddbDiscTest, TwoTracks)
{
    // Starts 2 s and 32 s: n = 2 + 3 + 2 = 7; lead-out 3910 frames = 52 s; t = 50 = 0x32.
    const CddbDisc disc = Disc({2250, 1510});
    EXPECT_EQ(CddbDiscIdText(disc.DiscId()), QStringLiteral("07003202"));
    EXPECT_EQ(disc.QueryCommand(), QStringLiteral("cddb query 07003202 2 150 2400 52"));
}

TEST_F(CddbDiscTest, TwentyTracks)
{
    std::vector<int64_t> sectors;
    for (int i = 0; i < 20; ++i)
        sectors.push_back(75 * (10 + i) + 7 * i);
    const CddbDisc disc = Disc(sectors);
    const std::vector<int32_t> offsets{150,   900,   1732,  2646,  3642,  4720,  5880,
                                       7122,  8446,  9852,  11340, 12910, 14562, 16296,
                                       18112, 20010, 21990, 24052, 26196, 28422};
    EXPECT_EQ(disc.Offsets, offsets);
    EXPECT_EQ(disc.LeadOut, 30730);
    // Seconds 2 12 23 35 48 62 78 94 112 131 151 172 194 217 241 266 293 320 349 378: digit
    // sums add up to 190 = 0xbe; t = 409 - 2 = 407 = 0x197; 20 tracks = 0x14.
    EXPECT_EQ(CddbDiscIdText(disc.DiscId()), QStringLiteral("be019714"));
}

TEST_F(CddbDiscTest, FirstTrackOffTheWholeSecondCountsWholeSecondsOfEachAddress)
{
    // A 40-frame pregap puts track 1 at 190 (2.53 s) and the lead-out at 3990 (53.2 s): t is
    // 53 - 2 = 51 (0x33), as servers compute it, not (3990 - 190) / 75 = 50.
    makedisc::DiscImageOptions pregap;
    pregap.PregapSectors = 40;
    const CddbDisc disc = Disc({2250, 1510}, pregap);
    ASSERT_EQ(disc.Offsets.front(), 190);
    EXPECT_EQ(CddbDiscIdText(disc.DiscId()), QStringLiteral("08003302"));
}

TEST(CddbDiscToc, ImpossibleTablesGiveNoDisc)
{
    TocRecord toc;
    EXPECT_FALSE(CddbDisc::FromToc(toc).has_value()); // no tracks
    toc.FirstTrack = 1;
    toc.LastTrack = 2;
    toc.Entries[0].Address = {0, 0, 2, 0};
    toc.Entries[1].Address = {0, 0, 1, 0}; // before track 1
    toc.Entries[2].Address = {0, 0, 9, 0};
    EXPECT_FALSE(CddbDisc::FromToc(toc).has_value());
    toc.Entries[1].Address = {0, 0, 5, 0};
    toc.Entries[2].Address = {0, 0, 4, 0}; // lead-out before the last track
    EXPECT_FALSE(CddbDisc::FromToc(toc).has_value());
    toc.Entries[2].Address = {0, 0, 9, 0};
    EXPECT_TRUE(CddbDisc::FromToc(toc).has_value());
    toc.LastTrack = 100;
    EXPECT_FALSE(CddbDisc::FromToc(toc).has_value());
}

TEST(CddbDiscToc, DiscStartingAtTrackThreeCountsItsOwnTracks)
{
    TocRecord toc;
    toc.FirstTrack = 3;
    toc.LastTrack = 4;
    toc.Entries[2].Address = {0, 0, 2, 0};
    toc.Entries[3].Address = {0, 1, 0, 0};
    toc.Entries[4].Address = {0, 2, 0, 0};
    const std::optional<CddbDisc> disc = CddbDisc::FromToc(toc);
    ASSERT_TRUE(disc.has_value());
    EXPECT_EQ(disc->Offsets, (std::vector<int32_t>{150, 4500}));
    // n = 2 + (6 + 0) = 8; t = 120 - 2 = 118 = 0x76; 2 tracks.
    EXPECT_EQ(CddbDiscIdText(disc->DiscId()), QStringLiteral("08007602"));
}
