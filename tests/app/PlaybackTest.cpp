// CD playback and the drive door as the main window decides them, over the test CD audio device.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "TestCdAudio.h"
#include "app/CDPlayer.h"
#include "app/MainController.h"
#include "app/MainForm.h"
#include "cd/OpenDrive.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/shell/Shell.h"
#include "support/TestSupport.h"

namespace {

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        MakeProgramDisc(dir, "Demo", {30 * 75, 20 * 75, 25 * 75});
        controller.Create();
        controller.Show();
        ASSERT_NE(controller.CDHandle(), 0);
        ASSERT_EQ(controller.Tracks().Count(), 3);
        controller.RenameRow(1, QStringLiteral("Second"));
        device = audio.Last();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override { ResetOptionsSetting(); }

    QStringList Requests()
    {
        const QStringList r = device->Requests;
        device->Requests.clear();
        return r;
    }
    QString Handle() const { return QString::number(controller.CDHandle()); }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TestCdAudioScope audio;
    TMainController controller;
    TCDPlayer player{controller};
    TTestCdAudio* device = nullptr;
};

} // namespace

TEST_F(PlaybackTest, PlayRunsToTheNextTrackThenRestoresTheStatus)
{
    const QString saved = controller.SavedStatusText();
    EXPECT_EQ(saved, QStringLiteral("Image Demo"));
    player.aPlayExecute(1);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Second"));
    EXPECT_TRUE(controller.CDPlaying);
    EXPECT_FALSE(controller.CDPaused);
    EXPECT_EQ(Requests(),
              (QStringList{QStringLiteral("Open ") + Handle(), QStringLiteral("TimeFormat 10"),
                           QStringLiteral("TrackPosition 2"), QStringLiteral("TrackPosition 3"),
                           QStringLiteral("Play 2:0:0:0-3:0:0:0")}));

    // The end of the track stops playback and closes the device.
    ASSERT_TRUE(device->Finish(TMPNotifyValues::nvSuccessful));
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(controller.StatusText(), saved);
    EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Stop"), QStringLiteral("Close")}));
    EXPECT_EQ(player.PlayingRow(), -1);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(PlaybackTest, LastRowPlaysToTheEndOfTheDisc)
{
    player.aPlayExecute(2);
    EXPECT_EQ(Requests(),
              (QStringList{QStringLiteral("Open ") + Handle(), QStringLiteral("TimeFormat 10"),
                           QStringLiteral("TrackPosition 3"), QStringLiteral("Play 3:0:0:0--")}));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track03"));
}

TEST_F(PlaybackTest, PlayAfterPauseResumesAtThePausedPoint)
{
    player.aPlayExecute(0);
    Requests();
    player.aPauseExecute();
    EXPECT_TRUE(controller.CDPaused);
    EXPECT_TRUE(controller.CDPlaying);
    EXPECT_EQ(device->Mode(), TCdAudioMode::Paused);
    player.aPlayExecute(0);
    // Resumed, not restarted: no new open, no new play from the track's start.
    EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Pause"), QStringLiteral("Resume")}));
    EXPECT_FALSE(controller.CDPaused);
    EXPECT_EQ(device->Mode(), TCdAudioMode::Playing);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track01"));

    // Paused, then Play on another row: that row's track starts, under its own title.
    player.aPauseExecute();
    Requests();
    player.aPlayExecute(1);
    EXPECT_EQ(
        Requests(),
        (QStringList{QStringLiteral("Close"), QStringLiteral("Open ") + Handle(),
                     QStringLiteral("TimeFormat 10"), QStringLiteral("TrackPosition 2"),
                     QStringLiteral("TrackPosition 3"), QStringLiteral("Play 2:0:0:0-3:0:0:0")}));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Second"));
    EXPECT_EQ(player.PlayingRow(), 1);
}

TEST_F(PlaybackTest, PlayWhilePlayingStartsTheNewTrackAndIgnoresTheOldNotification)
{
    player.aPlayExecute(0);
    player.aPlayExecute(2);
    QStringList r = Requests();
    ASSERT_GE(r.size(), 6);
    EXPECT_EQ(r.mid(r.size() - 5),
              (QStringList{QStringLiteral("Close"), QStringLiteral("Open ") + Handle(),
                           QStringLiteral("TimeFormat 10"), QStringLiteral("TrackPosition 3"),
                           QStringLiteral("Play 3:0:0:0--")}));
    // The first play's notification arrives late and changes nothing.
    PumpEvents();
    EXPECT_TRUE(controller.CDPlaying);
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Play Track03"));
    EXPECT_EQ(player.MediaPlayer1().NotifyValue(), TMPNotifyValues::nvAborted);
    EXPECT_EQ(device->PendingNotify(), &player.MediaPlayer1());
    ASSERT_TRUE(device->Finish(TMPNotifyValues::nvSuccessful));
    EXPECT_FALSE(controller.CDPlaying);
}

TEST_F(PlaybackTest, StopWithNoDeviceOpenStillClearsTheFlagsAndStatus)
{
    controller.CDPlaying = true;
    controller.CDPaused = true;
    controller.SetStatusText(QStringLiteral("Play Something"));
    player.aStopExecute();
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_FALSE(controller.CDPaused);
    EXPECT_EQ(controller.StatusText(), controller.SavedStatusText());
    EXPECT_TRUE(Requests().isEmpty()); // the closed player refuses the stop, which skips the close
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(PlaybackTest, APlayThatCannotStartOrGoOnEndsCleanly)
{
    // No drive handle.
    const int handle = controller.CDHandle();
    controller.SetCDHandle(0);
    player.aPlayExecute(0);
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(controller.StatusText(), controller.SavedStatusText());
    EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen);
    controller.SetCDHandle(handle);

    // No sound output (no server): said in the status bar, where nothing else would tell.
    device->FailWith = [](const QString& r) {
        return r == QStringLiteral("Play") ? CdAudioError::NoOutputDevice : 0;
    };
    player.aPlayExecute(1);
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(controller.StatusText(), CdAudioErrorText(CdAudioError::NoOutputDevice));
    EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen) << "the device stays open after a failed play";

    // The play fails on the way: the failure ends it, and a lost sound output is said.
    device->FailWith = nullptr;
    for (const QString& sound : {QString(), QStringLiteral("The sound system is not available.")}) {
        player.aPlayExecute(1);
        ASSERT_TRUE(controller.CDPlaying);
        ASSERT_TRUE(device->Finish(TMPNotifyValues::nvFailure, sound));
        EXPECT_FALSE(controller.CDPlaying);
        EXPECT_EQ(controller.StatusText(), sound.isEmpty() ? controller.SavedStatusText() : sound);
        EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen);
    }
    EXPECT_TRUE(boxes.Shown().empty()) << "playback errors are not reported in boxes";
}

TEST_F(PlaybackTest, RipAndCloseStopPlaybackFirst)
{
    QDir().mkpath(OptionsSetting().CommonOptions.OutputFolder);
    player.aPlayExecute(0);
    Requests();
    EXPECT_EQ(controller.PrepareRip().size(), 3);
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Stop"), QStringLiteral("Close")}));
    EXPECT_EQ(controller.StatusText(), controller.SavedStatusText());

    player.aPlayExecute(2);
    player.aPauseExecute();
    Requests();
    controller.Close();
    EXPECT_FALSE(controller.CDPlaying);
    EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Stop"), QStringLiteral("Close")}));
}

TEST_F(PlaybackTest, ChangingTheDriveStopsTheOldDiscsPlay)
{
    // The drive switched to, or one that failed to open: either way the list, the status bar
    // and the player let go of the old disc.
    MakeProgramDisc(dir, "Other", {75, 75});
    const QString failed = QString::fromLatin1(kNoCdDevicesText);
    for (const bool opens : {true, false}) {
        SCOPED_TRACE(opens ? "opened" : "failed to open");
        player.aPlayExecute(1);
        Requests();
        controller.UseDrive(opens ? OpenDrive(1) : OpenDriveResult{0, failed});
        EXPECT_FALSE(controller.CDPlaying);
        EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Stop"), QStringLiteral("Close")}));
        const QString status = opens ? QStringLiteral("Image Other") : failed;
        EXPECT_EQ(controller.StatusText(), status);
        EXPECT_EQ(controller.SavedStatusText(), status);
        EXPECT_EQ(controller.Tracks().Count(), opens ? 2 : 0);
    }
}

TEST_F(PlaybackTest, DoorAndVolumeControl)
{
    player.EjectMenuClick();
    player.CloseCdRomMenuClick();
    EXPECT_EQ(Requests(), (QStringList{QStringLiteral("Door open ") + Handle(),
                                       QStringLiteral("Door closed ") + Handle()}));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Image Demo"));

    QStringList started;
    bool startable = true;
    SetShellHookForTests([&](const QString& what) {
        started << what;
        return startable;
    });
    player.VolumeControlMenuClick();
    EXPECT_EQ(started, QStringList{QStringLiteral("pavucontrol --tab=1")});
    EXPECT_EQ(controller.StatusText(), QStringLiteral("Image Demo"));
    startable = false;
    player.VolumeControlMenuClick();
    EXPECT_EQ(controller.StatusText(), QString::fromLatin1(kVolumeControlFailedText));
    SetShellHookForTests(nullptr);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST(PlaybackDisc, RowsPlayTheirOwnTrackNumbers)
{
    // A disc whose first track is 3: rows carry the disc's numbers, not their positions.
    ResetOptionsSetting();
    ProgramDirScope dir;
    MakeProgramDisc(dir, "Late", {75, 75, 75});
    const QString cue = dir.File(QStringLiteral("discs/Late.cue"));
    QByteArray sheet = ReadWholeFile(cue);
    sheet.replace("TRACK 03", "TRACK 05")
        .replace("TRACK 02", "TRACK 04")
        .replace("TRACK 01", "TRACK 03");
    WriteWholeFile(cue, sheet);
    TestCdAudioScope audio;
    TMainController controller;
    TCDPlayer player(controller);
    controller.Create();
    controller.Show();
    ASSERT_EQ(controller.Tracks().Count(), 3);
    ASSERT_EQ(controller.Tracks().Row(0).Number, 3);
    player.aPlayExecute(1);
    const QStringList r = audio.Last()->Requests;
    EXPECT_EQ(r.mid(2),
              (QStringList{QStringLiteral("TrackPosition 4"), QStringLiteral("TrackPosition 5"),
                           QStringLiteral("Play 4:0:0:0-5:0:0:0")}));
    player.aStopExecute();
    ResetOptionsSetting();
}

TEST(PlaybackForm, CommandsFollowThePlayerState)
{
    ResetOptionsSetting();
    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    MakeProgramDisc(dir, "Demo", {10 * 75, 10 * 75});
    TestCdAudioScope audio;
    TMainForm f;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    TTestCdAudio* device = audio.Last();
    ASSERT_NE(device, nullptr);
    auto* status = f.findChild<QLabel*>(QStringLiteral("StatusPanel"));
    // Play, Pause, Stop: a letter when enabled.
    const auto enabled = [&] {
        QString s;
        s += f.aPlay->isEnabled() ? u'P' : u'-';
        s += f.aPause->isEnabled() ? u'A' : u'-';
        s += f.aStop->isEnabled() ? u'S' : u'-';
        return s;
    };
    f.ListView1->clearSelection();
    EXPECT_EQ(enabled(), QStringLiteral("---"));
    f.ListView1->setCurrentIndex(f.ListView1->model()->index(1, 0));
    EXPECT_EQ(enabled(), QStringLiteral("P--"));
    EXPECT_TRUE(f.ListView1->actions().contains(f.aPlay));

    f.aPlay->trigger();
    EXPECT_EQ(enabled(), QStringLiteral("PAS"));
    EXPECT_EQ(status->text(), QStringLiteral("Play Track02"));
    f.aPause->trigger();
    EXPECT_EQ(enabled(), QStringLiteral("P-S"));
    f.aPlay->trigger();
    EXPECT_EQ(enabled(), QStringLiteral("PAS"));
    f.aStop->trigger();
    EXPECT_EQ(enabled(), QStringLiteral("P--"));
    EXPECT_EQ(status->text(), QStringLiteral("Image Demo"));

    // The end of the track, reported while the window waits, updates the commands.
    f.aPlay->trigger();
    ASSERT_TRUE(device->Finish(TMPNotifyValues::nvSuccessful));
    EXPECT_EQ(enabled(), QStringLiteral("P--"));
    EXPECT_EQ(status->text(), QStringLiteral("Image Demo"));

    // The door commands reach the device for the window's drive; closing while playing stops.
    f.EjectMenu->trigger();
    EXPECT_TRUE(device->Requests.last().startsWith(QStringLiteral("Door open ")));
    f.aPlay->trigger();
    device->Requests.clear();
    f.close();
    EXPECT_EQ(device->Requests, (QStringList{QStringLiteral("Stop"), QStringLiteral("Close")}));
    EXPECT_FALSE(f.Controller().CDPlaying);
    EXPECT_TRUE(boxes.Shown().empty());
    ResetOptionsSetting();
}
