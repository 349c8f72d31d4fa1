// The real wave-audio device on a machine with no sound server at all.
#include <QFile>

#include <gtest/gtest.h>

#include "platform/waveaudio/QtWaveAudio.h"
#include "platform/waveaudio/WaveFormat.h"
#include "support/TestSupport.h"

TEST(NoSoundServer, FilesStillWorkAndRecordingOrPlayingSaysWhy)
{
    ProgramDirScope dir;
    // Nothing answers here, and nothing may be started in its place.
    WriteWholeFile(dir.File(QStringLiteral("client.conf")), "autospawn = no\n");
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(dir.File(QStringLiteral("client.conf"))));
    qputenv("PULSE_SERVER",
            QFile::encodeName(QStringLiteral("unix:") + dir.File(QStringLiteral("none"))));

    const QString file = dir.File(QStringLiteral("take.wav"));
    WriteWholeFile(file, BuildWaveHeader({8000, 8, 1}, 4) + QByteArray("\x80\x90\xa0\xb0", 4));
    TQtWaveAudio device;
    ASSERT_TRUE(device.Open(file));
    EXPECT_EQ(device.Length(), 0);

    EXPECT_FALSE(device.Record());
    EXPECT_FALSE(device.ErrorText().isEmpty());
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);
    EXPECT_FALSE(device.Play(0));
    EXPECT_FALSE(device.ErrorText().isEmpty());
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);
    EXPECT_FALSE(device.HasUnsavedSound());
    EXPECT_TRUE(device.Save());
    EXPECT_EQ(ReadWholeFile(file).size(), 48);
    EXPECT_TRUE(device.Close());
}
