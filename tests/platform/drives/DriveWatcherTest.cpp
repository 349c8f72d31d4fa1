#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/drives/DriveWatcher.h"
#include "platform/drives/MediaStateTracker.h"
#include "support/TestSupport.h"

namespace {

using Change = MediaStateTracker::Change;

TEST(MediaStateTracker, ReportsEachFlipOnceWhoeverReportsIt)
{
    MediaStateTracker t;
    EXPECT_EQ(t.Update("/dev/sr0", true, false), Change::None) << "a first poll only records";
    EXPECT_EQ(t.Update("/dev/sr0", true, false), Change::None);
    EXPECT_EQ(t.Update("/dev/sr0", false, true), Change::Removed);
    EXPECT_EQ(t.Update("/dev/sr0", false, true), Change::None) << "udev and the poll both saw it";
    EXPECT_EQ(t.Update("/dev/sr0", true, false), Change::Arrived);
    EXPECT_EQ(t.Update("/dev/sr0", true, true), Change::Replaced) << "a disc swapped between polls";
    EXPECT_EQ(t.Update("/dev/sr1", true, true), Change::Arrived) << "a first event is a change";
    EXPECT_EQ(t.Update("/dev/sr2", false, true), Change::Removed);
    EXPECT_EQ(t.Update("/dev/sr2", false, false), Change::None);
}

class DriveWatcherTest : public ::testing::Test {
protected:
    QString Discs() const { return scope_.File(QStringLiteral("discs")); }
    ProgramDirScope scope_;
};

TEST_F(DriveWatcherTest, ImagesAppearingAndVanishingAreArrivalsAndRemovals)
{
    ASSERT_TRUE(QDir().mkpath(Discs()));
    MakeImage(Discs(), QStringLiteral("present"), {10});
    DriveWatcher watcher;
    QSignalSpy arrived(&watcher, &DriveWatcher::VolumeArrived);
    QSignalSpy removed(&watcher, &DriveWatcher::VolumeRemoved);

    // An image already there at start is no arrival; other files are not discs.
    WriteWholeFile(Discs() + QStringLiteral("/readme.txt"), "x");
    PumpEvents(std::chrono::milliseconds(600));
    EXPECT_EQ(arrived.count(), 0);
    EXPECT_EQ(removed.count(), 0);

    MakeImage(Discs(), QStringLiteral("new"), {10});
    ASSERT_TRUE(WaitUntil([&] { return arrived.count() >= 1; }, std::chrono::seconds(5)));
    PumpEvents(std::chrono::milliseconds(400));
    EXPECT_EQ(arrived.count(), 1) << "the .bin and .cue of one image make one arrival";

    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/present.cue")));
    ASSERT_TRUE(WaitUntil([&] { return removed.count() >= 1; }, std::chrono::seconds(5)));
    PumpEvents(std::chrono::milliseconds(400));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(arrived.count(), 1);
}

TEST_F(DriveWatcherTest, TheDiscsFolderMayAppearLaterAndGoAway)
{
    DriveWatcher watcher;
    QSignalSpy arrived(&watcher, &DriveWatcher::VolumeArrived);
    QSignalSpy removed(&watcher, &DriveWatcher::VolumeRemoved);

    ASSERT_TRUE(QDir().mkpath(Discs()));
    PumpEvents(std::chrono::milliseconds(400));
    MakeImage(Discs(), QStringLiteral("late"), {10});
    ASSERT_TRUE(WaitUntil([&] { return arrived.count() >= 1; }, std::chrono::seconds(5)));

    ASSERT_TRUE(QDir(Discs()).removeRecursively());
    ASSERT_TRUE(WaitUntil([&] { return removed.count() >= 1; }, std::chrono::seconds(5)));
    EXPECT_EQ(arrived.count(), 1);
}

TEST_F(DriveWatcherTest, UdevEventsOfCdDrivesOnly)
{
    DriveWatcher watcher;
    QSignalSpy arrived(&watcher, &DriveWatcher::VolumeArrived);
    QSignalSpy removed(&watcher, &DriveWatcher::VolumeRemoved);
    auto counts = [&] { return std::make_pair(int(arrived.count()), int(removed.count())); };
    watcher.OnBlockDeviceEvent("change", "/dev/sda", false, true);
    EXPECT_EQ(counts(), std::make_pair(0, 0));
    watcher.OnBlockDeviceEvent("change", "/dev/sr0", true, true);
    EXPECT_EQ(counts(), std::make_pair(1, 0));
    watcher.OnBlockDeviceEvent("change", "/dev/sr0", true, true); // another disc
    EXPECT_EQ(counts(), std::make_pair(2, 1));
    watcher.OnBlockDeviceEvent("change", "/dev/sr0", true, false);
    EXPECT_EQ(counts(), std::make_pair(2, 2));

    // Plugging drives in and out: only a disc in them counts.
    watcher.OnBlockDeviceEvent("add", "/dev/sr1", true, false);
    watcher.OnBlockDeviceEvent("remove", "/dev/sr1", true, false);
    watcher.OnBlockDeviceEvent("remove", "/dev/sr7", true, false);
    EXPECT_EQ(counts(), std::make_pair(2, 2));
    watcher.OnBlockDeviceEvent("add", "/dev/sr2", true, true);
    EXPECT_EQ(counts(), std::make_pair(3, 2));
    watcher.OnBlockDeviceEvent("remove", "/dev/sr2", true, false);
    EXPECT_EQ(counts(), std::make_pair(3, 3));
    watcher.OnBlockDeviceEvent("move", "/dev/sr2", true, true);
    EXPECT_EQ(counts(), std::make_pair(3, 3));
}

TEST_F(DriveWatcherTest, FallbackPollOfTheOpenDriveAgreesWithUdev)
{
    FakeCdAccess fake;
    std::vector<MediaPoll> script;
    std::vector<int> polledHandles;
    fake.onPoll = [&](int handle, MediaPoll& poll) {
        polledHandles.push_back(handle);
        if (script.empty())
            return 0; // an image: nothing to say
        poll = script.front();
        script.erase(script.begin());
        return 1;
    };
    DriveWatcher watcher;
    QSignalSpy arrived(&watcher, &DriveWatcher::VolumeArrived);
    QSignalSpy removed(&watcher, &DriveWatcher::VolumeRemoved);
    watcher.SetPollInterval(std::chrono::milliseconds(5));
    auto pollOnce = [&](bool changed, bool present) {
        script.push_back({changed, present, "/dev/sr0"});
        return WaitUntil([&] { return script.empty(); }, std::chrono::seconds(2));
    };

    PumpEvents(std::chrono::milliseconds(30));
    EXPECT_TRUE(polledHandles.empty()) << "no handle, no poll";
    watcher.SetDriveHandle(3);
    ASSERT_TRUE(pollOnce(false, true));
    EXPECT_EQ(arrived.count(), 0) << "the disc found at start is no arrival";
    ASSERT_TRUE(pollOnce(true, false));
    EXPECT_EQ(removed.count(), 1);
    // udev saw the same removal: nothing more.
    watcher.OnBlockDeviceEvent("change", "/dev/sr0", true, false);
    EXPECT_EQ(removed.count(), 1);
    ASSERT_TRUE(pollOnce(true, true));
    EXPECT_EQ(arrived.count(), 1);
    EXPECT_EQ(polledHandles.front(), 3);

    watcher.SetDriveHandle(0);
    PumpEvents(std::chrono::milliseconds(20));
    const size_t polls = polledHandles.size();
    PumpEvents(std::chrono::milliseconds(50));
    EXPECT_EQ(polledHandles.size(), polls);
}

} // namespace
