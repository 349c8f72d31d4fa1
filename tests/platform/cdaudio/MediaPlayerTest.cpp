#include <gtest/gtest.h>

#include "TestCdAudio.h"
#include "core/MessageBoxService.h"
#include "platform/cdaudio/MediaPlayer.h"
#include "support/TestSupport.h"

namespace {

class MediaPlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        player.DeviceType = TMediaPlayer::TMPDeviceTypes::dtCDAudio;
        player.DriveHandle = 4;
        player.OnNotify = [this] { notified << player.NotifyValue(); };
    }

    ScriptedMessageBoxService boxes;
    TTestCdAudio device;
    TMediaPlayer player{device};
    QList<TMPNotifyValues> notified;
};

} // namespace

TEST_F(MediaPlayerTest, PositionsAreSentOnceAndOpeningAnOpenDeviceClosesItFirst)
{
    player.Open();
    player.SetStartPos(player.TrackPosition(2));
    player.SetEndPos(player.TrackPosition(3));
    player.Play();
    device.Requests.clear();
    player.Play(); // the positions are spent: the next play goes on from where the device is
    player.Open();
    EXPECT_EQ(device.Requests,
              (QStringList{QStringLiteral("Play ---"), QStringLiteral("Close"),
                           QStringLiteral("Open 4"), QStringLiteral("TimeFormat 10")}));
}

TEST_F(MediaPlayerTest, FailuresRaiseTheDeviceErrorAndStopNeedsAnOpenDevice)
{
    player.DriveHandle = 0;
    EXPECT_THROW(player.Open(), EMCIDeviceError);
    EXPECT_FALSE(player.Opened());
    try {
        player.Stop();
        FAIL() << "Stop on a closed device must raise";
    } catch (const EMCIDeviceError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("No MCI device open"));
    }
    EXPECT_THROW(player.Play(), EMCIDeviceError);
    EXPECT_EQ(player.Close(), 0); // closing a closed player is no error

    player.DriveHandle = 4;
    player.DeviceType = TMediaPlayer::TMPDeviceTypes::dtAutoSelect;
    EXPECT_THROW(player.Open(), EMCIDeviceError); // only CD audio is there to open
    player.DeviceType = TMediaPlayer::TMPDeviceTypes::dtCDAudio;
    player.Open();
    EXPECT_THROW(player.TrackPosition(100), EMCIDeviceError);
    device.FailWith = [](const QString& r) {
        return r == QStringLiteral("Play") ? CdAudioError::NoOutputDevice : 0;
    };
    EXPECT_THROW(player.Play(), EMCIDeviceError);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MediaPlayerTest, PauseTogglesAndResumeFallsBackToPlay)
{
    player.Open();
    player.Play();
    device.Requests.clear();
    player.Pause();
    EXPECT_EQ(player.Mode(), TCdAudioMode::Paused);
    player.Pause(); // a paused device resumes
    EXPECT_EQ(player.Mode(), TCdAudioMode::Playing);
    EXPECT_EQ(device.Requests, (QStringList{QStringLiteral("Pause"), QStringLiteral("Resume")}));

    // A device that cannot resume plays from where it is.
    player.Pause();
    device.FailWith = [](const QString& r) {
        return r == QStringLiteral("Resume") ? CdAudioError::Unsupported : 0;
    };
    device.Requests.clear();
    player.Resume();
    EXPECT_EQ(device.Requests, (QStringList{QStringLiteral("Resume"), QStringLiteral("Play ---")}));
    EXPECT_EQ(player.Mode(), TCdAudioMode::Playing);
}

TEST_F(MediaPlayerTest, NotificationsReachOnNotifyWithTheirResult)
{
    player.Open();
    player.Play();
    player.Play(); // the first play's notification is superseded (posted)
    ASSERT_TRUE(device.Finish(TMPNotifyValues::nvSuccessful));
    EXPECT_EQ(notified, QList<TMPNotifyValues>{TMPNotifyValues::nvSuccessful});
    EXPECT_TRUE(WaitUntil([&] { return notified.size() == 2; }));
    EXPECT_EQ(notified.last(), TMPNotifyValues::nvSuperseded);
    EXPECT_EQ(player.NotifyValue(), TMPNotifyValues::nvSuperseded);
}
