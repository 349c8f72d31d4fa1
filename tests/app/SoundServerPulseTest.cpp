// CD playback and the recorder's device when the sound server dies, hangs or comes back (run
// inside tests/support/pulse-session.sh, whose server these tests kill and start again).
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>

#include <gtest/gtest.h>

#include "app/CDPlayer.h"
#include "app/MainController.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "platform/cdaudio/DigitalCdAudio.h"
#include "platform/process/ChildProcess.h"
#include "platform/waveaudio/QtWaveAudio.h"
#include "platform/waveaudio/SoundServer.h"
#include "platform/waveaudio/WaveFormat.h"
#include "support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t ServerPid()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return static_cast<pid_t>(
        ReadWholeFile(QString::fromLocal8Bit(runtime) + QStringLiteral("/pulse/pid"))
            .trimmed()
            .toInt());
}

bool ServerGone(pid_t pid)
{
    // Not yet reaped by whoever adopted it, a killed server lingers as a zombie.
    const QByteArray status = ReadWholeFile(QStringLiteral("/proc/%1/status").arg(pid));
    return status.isEmpty() || status.contains("State:\tZ");
}

bool StartServer()
{
    TChildProcess start;
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int rc = start.Spawn({qgetenv("PLATTERLY_PULSE_START").toStdString()}, null, null, null);
    ::close(null);
    return rc == 0 && start.Reap() == 0;
}

class SoundServerDeath : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qgetenv("PLATTERLY_PULSE_START").isEmpty()) << "run inside pulse-session.sh";
        ResetOptionsSetting();
        MakeProgramDisc(dir, "Tones", {30 * 75, 20 * 75, 25 * 75});
        controller.Create();
        controller.Show();
        ASSERT_NE(controller.CDHandle(), 0);
        device = dynamic_cast<TDigitalCdAudio*>(&player.MediaPlayer1().Device());
        ASSERT_NE(device, nullptr) << "the real device plays here";
        server = ServerPid();
        ASSERT_GT(server, 0);
    }
    void TearDown() override
    {
        player.aStopExecute();
        controller.Close();
        // The next test finds a server Qt is connected to (the one that hangs comes last: a
        // stopped server drops its clients some time after it goes on).
        ::kill(server, SIGCONT);
        if (ServerGone(server)) {
            EXPECT_TRUE(StartServer());
        }
        EXPECT_TRUE(WaitUntil([] {
            SoundServer::Attach();
            return SoundServer::Link() == SoundServer::TLink::Connected;
        }));
        ResetOptionsSetting();
    }

    void KillServer()
    {
        ::kill(server, SIGKILL);
        ASSERT_TRUE(WaitUntil([&] { return ServerGone(server); }));
    }
    /// Waits until Qt's back end has tried the dead server again and given up.
    static void WaitUntilQtGivesUp()
    {
        ASSERT_TRUE(WaitUntil([] { return SoundServer::Link() == SoundServer::TLink::Lost; }));
    }
    /// Plays a row and waits until the listener has heard some of it.
    void PlayAndHear(int row)
    {
        player.aPlayExecute(row);
        ASSERT_TRUE(controller.CDPlaying);
        const int32_t from = device->PositionSector();
        ASSERT_TRUE(WaitUntil([&] { return device->PositionSector() > from + 15; }))
            << controller.StatusText().toStdString();
    }
    /// How long the play takes to end after `cause` happened; fails after 10 s.
    std::chrono::milliseconds TimeToEnd(Clock::time_point cause)
    {
        EXPECT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }, std::chrono::seconds(10)));
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cause);
    }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TMainController controller;
    TCDPlayer player{controller};
    TDigitalCdAudio* device = nullptr;
    pid_t server = 0;
};

} // namespace

// First in the file: the fault needs a play that ended before, in a process where nothing has
// touched the sound system yet.
TEST_F(SoundServerDeath, APlayAfterAnEarlierOneEndsWhenTheServerDies)
{
    PlayAndHear(0);
    PlayAndHear(2); // the first play's thread has ended
    const auto killed = Clock::now();
    KillServer();
    EXPECT_LT(TimeToEnd(killed), std::chrono::seconds(2));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("The sound system is not available."));
    EXPECT_EQ(device->Mode(), TCdAudioMode::NotOpen);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SoundServerDeath, PlayAndRecordUseAServerThatCameBack)
{
    const QString file = dir.File(QStringLiteral("take.wav"));
    WriteWholeFile(file, BuildWaveHeader({44100, 16, 2}, 0));
    TQtWaveAudio recorder;
    ASSERT_TRUE(recorder.Open(file));
    PlayAndHear(0);

    KillServer();
    ASSERT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }));
    WaitUntilQtGivesUp();
    // Nothing runs: both say so.
    player.aPlayExecute(1);
    EXPECT_TRUE(WaitUntil([&] { return !controller.CDPlaying; }));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("The sound system is not available."));
    EXPECT_FALSE(recorder.Record());
    EXPECT_EQ(recorder.ErrorText(), QStringLiteral("The sound system is not available."));

    ASSERT_TRUE(StartServer());
    server = ServerPid();
    // On a busy machine the back end may report the loss of its other connection late, and
    // until its own retry 3 s later a play fails once more (the user would press Play again).
    ASSERT_TRUE(WaitUntil([] { return SoundServer::Link() != SoundServer::TLink::Retrying; }));
    PlayAndHear(1);
    player.aStopExecute();
    EXPECT_TRUE(recorder.Record()) << recorder.ErrorText().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return recorder.Length() > 100; }));
    EXPECT_TRUE(recorder.Stop());
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(SoundServerDeath, APlayWhoseServerHangsEndsWithinTwoSeconds)
{
    PlayAndHear(0);
    const auto hung = Clock::now();
    ASSERT_EQ(::kill(server, SIGSTOP), 0);
    EXPECT_LT(TimeToEnd(hung), std::chrono::seconds(2));
    EXPECT_EQ(controller.StatusText(), QStringLiteral("The sound output stopped playing."));
}
