// The real CD audio device where no sound server answers: everything short of sound works, and
// a play fails cleanly instead of starting.
#include <atomic>
#include <condition_variable>
#include <mutex>

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include "DiscFixture.h"
#include "platform/cdaudio/DigitalCdAudio.h"
#include "platform/cdaudio/DoorWorker.h"
#include "support/TestSupport.h"

namespace {

class DigitalCdAudioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(Discs()));
        MakeImage(Discs(), QStringLiteral("Three"), {75, 150, 75});
        for (const ListedImage& img : ListedImages()) {
            if (img.Product == QStringLiteral("Three"))
                drive = GetCDHandle(HandleRequest::For(img.Entry));
        }
        ASSERT_NE(drive, 0);
    }
    void TearDown() override { CloseAllHandles(); }

    QString Discs() const { return scope.File(QStringLiteral("discs")); }

    ProgramDirScope scope;
    int drive = 0;
    QStringList doors;
    TDigitalCdAudio device{[this](const std::string& dev, bool open) {
        doors << QString::fromStdString(dev) +
                     (open ? QStringLiteral(" open") : QStringLiteral(" closed"));
    }};
};

} // namespace

TEST_F(DigitalCdAudioTest, HandleDriveNamesTheDriveOfAHandle)
{
    HandleRequest request;
    std::string node = "stale";
    ASSERT_EQ(HandleDrive(drive, request, node), 1);
    EXPECT_TRUE(node.empty()); // an image has no device node
    const int again = GetCDHandle(request);
    EXPECT_NE(again, 0);
    EXPECT_NE(again, drive);
    EXPECT_EQ(HandleDrive(0, request, node), 0);
    EXPECT_EQ(HandleDrive(again, request, node), 1);
    CloseCDHandle(again);
    EXPECT_EQ(HandleDrive(again, request, node), 0);
}

TEST_F(DigitalCdAudioTest, OpensOnItsOwnHandleAndChecksPositions)
{
    EXPECT_EQ(device.Open(0), CdAudioError::NoDrive);
    EXPECT_EQ(device.Mode(), TCdAudioMode::NotOpen);
    uint32_t position = 0;
    EXPECT_EQ(device.TrackPosition(1, position), CdAudioError::NotOpen);

    ASSERT_EQ(device.Open(drive), 0);
    EXPECT_EQ(device.Open(drive), CdAudioError::NonApplicable); // not shareable
    EXPECT_EQ(device.Mode(), TCdAudioMode::Stopped);
    const int own = device.OwnHandle();
    EXPECT_NE(own, 0);
    EXPECT_NE(own, drive);
    EXPECT_EQ(device.SetTimeFormat(kTimeFormatTmsf), 0);
    EXPECT_EQ(device.SetTimeFormat(0), CdAudioError::Unsupported);

    ASSERT_EQ(device.TrackPosition(2, position), 0);
    EXPECT_EQ(position, MakeTmsf(2, 0, 0, 0));
    EXPECT_EQ(device.TrackPosition(4, position), CdAudioError::OutOfRange);
    EXPECT_EQ(device.TrackPosition(0, position), CdAudioError::OutOfRange);

    // Places the disc does not have: past a track's end, an end before the start.
    EXPECT_EQ(device.Play(MakeTmsf(1, 0, 1, 0), std::nullopt, &device), CdAudioError::OutOfRange);
    EXPECT_EQ(device.Play(MakeTmsf(1, 0, 0, 75), std::nullopt, &device), CdAudioError::OutOfRange);
    EXPECT_EQ(device.Play(MakeTmsf(3, 0, 0, 0), MakeTmsf(2, 0, 0, 0), &device),
              CdAudioError::OutOfRange);
    EXPECT_EQ(device.Play(MakeTmsf(5, 0, 0, 0), std::nullopt, &device), CdAudioError::OutOfRange);
    // A valid play finds no sound output and starts nothing.
    EXPECT_EQ(device.Play(MakeTmsf(2, 0, 0, 0), MakeTmsf(3, 0, 0, 0), &device),
              CdAudioError::NoOutputDevice);
    EXPECT_EQ(device.Mode(), TCdAudioMode::Stopped);
    EXPECT_EQ(device.Pause(), CdAudioError::NonApplicable);
    EXPECT_EQ(device.Resume(&device), CdAudioError::NonApplicable);
    EXPECT_EQ(device.Stop(), 0);

    EXPECT_EQ(device.Close(), 0);
    EXPECT_EQ(device.Mode(), TCdAudioMode::NotOpen);
    EXPECT_EQ(device.OwnHandle(), 0);
    TocRecord toc;
    EXPECT_EQ(ReadTOC(own, toc), 0) << "the device's handle stays open after Close";
    EXPECT_EQ(device.Close(), CdAudioError::NotOpen);
    EXPECT_EQ(ReadTOC(drive, toc), 1) << "the window's handle is not the device's to close";
}

TEST_F(DigitalCdAudioTest, OpeningAndClosingManyTimesKeepsNoHandle)
{
    // The handle table has ten slots: a leak would run out long before this.
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(device.Open(drive), 0) << "round " << i;
        ASSERT_EQ(device.Close(), 0);
    }
    // Destroying an open device releases its handle too.
    {
        TDigitalCdAudio other;
        ASSERT_EQ(other.Open(drive), 0);
    }
    for (int i = 0; i < 9; ++i)
        EXPECT_NE(GetCDHandle(HandleRequest::For(ListedImages().front().Entry)), 0);
}

TEST_F(DigitalCdAudioTest, VanishedImageDoesNotOpen)
{
    ASSERT_TRUE(QFile::remove(Discs() + QStringLiteral("/Three.bin")));
    EXPECT_NE(device.Open(drive), 0);
    EXPECT_EQ(device.Mode(), TCdAudioMode::NotOpen);
    EXPECT_EQ(device.OwnHandle(), 0);
}

TEST_F(DigitalCdAudioTest, AnImageHasNoDoor)
{
    EXPECT_EQ(device.SetDoor(drive, true), CdAudioError::Unsupported);
    EXPECT_EQ(device.SetDoor(drive, false), CdAudioError::Unsupported);
    EXPECT_EQ(device.SetDoor(0, true), CdAudioError::NoDrive);
    EXPECT_EQ(device.SetDoor(77, true), CdAudioError::NoDrive);
    EXPECT_TRUE(doors.isEmpty());
}

TEST(DoorWorker, RequestsReturnAtOnceAndRunInOrder)
{
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::vector<std::string> done;
    {
        TDoorWorker worker([&](const std::string& device, bool open) {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return release; });
            done.push_back(device + (open ? " open" : " closed"));
            cv.notify_all();
        });
        // The first call blocks until released, yet neither request waits for it.
        worker.Request("/dev/sr0", true);
        worker.Request("/dev/sr0", false);
        {
            std::unique_lock lock(m);
            EXPECT_TRUE(done.empty());
            release = true;
        }
        cv.notify_all();
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done.size() == 2; });
    }
    EXPECT_EQ(done, (std::vector<std::string>{"/dev/sr0 open", "/dev/sr0 closed"}));
}
