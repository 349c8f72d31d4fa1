#include <gtest/gtest.h>

#include "cd/TrackGeometry.h"

namespace {

void Put(TocRecord& toc, int index, int m, int s, int f)
{
    toc.Entries[size_t(index)].Address = {0, uint8_t(m), uint8_t(s), uint8_t(f)};
}

TocRecord TwoTracks(int m1, int s1, int f1, int m2, int s2, int f2)
{
    TocRecord toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 1;
    Put(toc, 0, m1, s1, f1);
    Put(toc, 1, m2, s2, f2);
    return toc;
}

TEST(TrackGeometry, StartsAtTheAbsoluteSectorAndTheLeadOutClosesTheLastTrack)
{
    TocRecord toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 3;
    Put(toc, 0, 0, 2, 0);  // LSN 0
    Put(toc, 1, 0, 2, 23); // 23 sectors
    Put(toc, 2, 0, 2, 24); // 1 sector
    Put(toc, 3, 1, 0, 0);  // lead-out: 4500 - 150 - 24 sectors
    auto t1 = TrackGeometry(toc, 1), t2 = TrackGeometry(toc, 2), t3 = TrackGeometry(toc, 3);
    ASSERT_TRUE(t1 && t2 && t3);
    EXPECT_EQ(t1->StartSector, 0);
    EXPECT_EQ(t1->LengthSectors, 23);
    EXPECT_EQ(t2->StartSector, 23);
    EXPECT_EQ(t2->LengthSectors, 1);
    EXPECT_EQ(t3->StartSector, 24);
    EXPECT_EQ(t3->LengthSectors, 4500 - 150 - 24);
    EXPECT_FALSE(TrackGeometry(toc, 0));
    EXPECT_FALSE(TrackGeometry(toc, 4));

    // Track 1 after a hidden pregap: sectors are read where the track is, not from LSN 0.
    TocRecord late = TwoTracks(0, 4, 0, 0, 10, 0);
    ASSERT_TRUE(TrackGeometry(late, 1));
    EXPECT_EQ(TrackGeometry(late, 1)->StartSector, 150);
    EXPECT_EQ(TrackGeometry(late, 1)->LengthSectors, 450);
}

TEST(TrackGeometry, PlaceAmongTheAudioTracksLeavesDataTracksOut)
{
    TocRecord toc; // data, audio, audio, data (a mixed-mode disc with a second session)
    toc.FirstTrack = 1;
    toc.LastTrack = 4;
    for (int i = 0; i <= 4; ++i)
        Put(toc, i, 0, 2 + 2 * i, 0);
    toc.Entries[0].AdrControl = toc.Entries[3].AdrControl = 0x04;
    const DiscPlace second = PlaceOnDisc(toc, 2), third = PlaceOnDisc(toc, 3);
    EXPECT_TRUE(second.FirstAudio && !second.LastAudio);
    EXPECT_TRUE(!third.FirstAudio && third.LastAudio);
    EXPECT_EQ(third.EndSector, 8 * 75);
}

TEST(TrackGeometry, RefusesImpossibleTables)
{
    EXPECT_FALSE(TrackGeometry(TwoTracks(0, 2, 0, 0, 2, 0), 1)) << "no sectors";
    EXPECT_FALSE(TrackGeometry(TwoTracks(0, 5, 0, 0, 2, 0), 1)) << "ends before it starts";
    EXPECT_FALSE(TrackGeometry(TwoTracks(0, 1, 0, 0, 9, 0), 1)) << "inside the lead-in";
    TocRecord toc = TwoTracks(0, 2, 0, 0, 9, 0);
    toc.LastTrack = 100;
    EXPECT_FALSE(TrackGeometry(toc, 1));
    EXPECT_TRUE(TrackListLengths(toc).empty());
    toc.LastTrack = 1;
    toc.FirstTrack = 0;
    EXPECT_TRUE(TrackListLengths(toc).empty());
}

TEST(TrackListLengths, UsesWholeMinutesAndSecondsOnly)
{
    auto one = [](TocRecord toc) {
        const auto v = TrackListLengths(toc);
        EXPECT_EQ(v.size(), 1u);
        return v.empty() ? TrackLength{-99, -99} : v[0];
    };
    TrackLength l = one(TwoTracks(0, 2, 0, 4, 7, 70)); // frames ignored
    EXPECT_EQ(l.Minutes, 4);
    EXPECT_EQ(l.Seconds, 5);
    l = one(TwoTracks(3, 10, 74, 7, 5, 0)); // borrows a minute
    EXPECT_EQ(l.Minutes, 3);
    EXPECT_EQ(l.Seconds, 55);
    l = one(TwoTracks(0, 2, 0, 0, 3, 0));
    EXPECT_EQ(l.Minutes, 0);
    EXPECT_EQ(l.Seconds, 1);
    l = one(TwoTracks(0, 2, 0, 74, 2, 0));
    EXPECT_EQ(l.Minutes, 74);
    EXPECT_EQ(l.Seconds, 0);

    TocRecord toc;
    toc.FirstTrack = 1;
    toc.LastTrack = 3;
    Put(toc, 0, 0, 2, 0);
    Put(toc, 1, 0, 59, 74);
    Put(toc, 2, 2, 0, 1);
    Put(toc, 3, 2, 30, 0);
    const auto v = TrackListLengths(toc);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].Minutes, 0);
    EXPECT_EQ(v[0].Seconds, 57);
    EXPECT_EQ(v[1].Minutes, 1);
    EXPECT_EQ(v[1].Seconds, 1);
    EXPECT_EQ(v[2].Minutes, 0);
    EXPECT_EQ(v[2].Seconds, 30);
}

} // namespace
