#include <QDir>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/drives/DriveQueries.h"
#include "support/TestSupport.h"

namespace {

class DiscKeyOfImages : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(Discs())); }
    QString Discs() const { return scope_.File(QStringLiteral("discs")); }
    ProgramDirScope scope_;
};

TEST_F(DiscKeyOfImages, MatchesTheSerialOfDiscsWithOneTwoAndTwelveTracks)
{
    EXPECT_EQ(DiscKey(), QString());

    // One track of 1000 sectors at 00:02:00: 2 << 8, plus frames 0 and the length 1000.
    MakeImage(Discs(), QStringLiteral("one"), {1000});
    EXPECT_EQ(DiscKey(), QStringLiteral("1512"));
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/one.cue")));

    // Two tracks; the second starts at frame 150 + 4567 = 00:62:67, i.e. 01:02:67.
    MakeImage(Discs(), QStringLiteral("two"), {4567, 333});
    const uint32_t two = (2u << 8) + ((1u << 16) + (2u << 8) + 67u) + 0u + (4567u + 333u);
    EXPECT_EQ(DiscKey(), QString::number(two));
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/two.cue")));

    // Twelve tracks: the plain sum of the starts, no length added.
    std::vector<int64_t> lengths;
    uint32_t sum = 0;
    int64_t frames = 150;
    for (int i = 0; i < 12; ++i) {
        lengths.push_back(1000 + 37 * i);
        sum +=
            uint32_t(frames / 4500 << 16) + uint32_t(frames / 75 % 60 << 8) + uint32_t(frames % 75);
        frames += lengths.back();
    }
    MakeImage(Discs(), QStringLiteral("twelve"), lengths);
    EXPECT_EQ(DiscKey(), QString::number(sum));
    // With no system drive the image is the first drive of the list.
    if (ListedImages().front().Position == 0) {
        EXPECT_TRUE(AudioCDPresent());
    }
}

TEST(AudioCdSerial, AddsLengthAndFirstFramesBelowThreeTracksAndReadsSigned)
{
    FakeCdAccess fake;
    fake.firstTrackLsn = 10; // track 1 at 00:02:10: its frames field counts
    fake.trackSectors = {75, 75, 75};
    const TocRecord three = fake.Toc();
    EXPECT_EQ(AudioCdSerial(three), int32_t((2 << 8) + 10 + (3 << 8) + 10 + (4 << 8) + 10));
    fake.trackSectors = {75, 75};
    EXPECT_EQ(AudioCdSerial(fake.Toc()), int32_t((2 << 8) + 10 + (3 << 8) + 10 + 10 + 150));

    // A sum past 2^31 comes back negative, as the stored keys show it.
    TocRecord big;
    big.FirstTrack = 1;
    big.LastTrack = 99;
    for (auto& e : big.Entries)
        e.Address = {0, 255, 255, 255};
    const uint32_t expected = 99u * ((255u << 16) + (255u << 8) + 255u);
    EXPECT_EQ(AudioCdSerial(big), static_cast<int32_t>(expected));
    TocRecord broken;
    EXPECT_EQ(AudioCdSerial(broken), 0);
}

TEST(DriveQueries, OnlyTheFirstDriveCountsForAudioCdPresent)
{
    FakeCdAccess fake;
    EXPECT_FALSE(AudioCDPresent());
    EXPECT_EQ(DiscKey(), QString());

    fake.drives = {FakeDrive("A", "first", 1), FakeDrive("B", "second", 2),
                   FakeDrive("C", "third", 3)};
    fake.trackSectors = {300, 200};
    // First drive: a data disc; second: an Enhanced CD (audio, then a data session); third:
    // an unreadable drive.
    fake.onReadDiscToc = [&](const DriveEntry& d, TocRecord& toc) {
        if (d.Lun == 3)
            return 0;
        fake.dataTracks =
            d.Lun == 1 ? std::vector<bool>{true, true} : std::vector<bool>{false, true};
        toc = fake.Toc();
        return 1;
    };
    EXPECT_EQ(DriveVolumeLabel(fake.drives[0]), QString());
    EXPECT_EQ(DriveVolumeLabel(fake.drives[1]), QStringLiteral("Audio CD"));
    EXPECT_EQ(DriveVolumeLabel(fake.drives[2]), QString());
    EXPECT_FALSE(AudioCDPresent());
    // The key comes from the first audio CD, wherever it is.
    EXPECT_EQ(DiscKey(), QString::number((2 << 8) + (6 << 8) + 0 + 500));

    std::swap(fake.drives[0], fake.drives[1]);
    EXPECT_TRUE(AudioCDPresent());
}

} // namespace
