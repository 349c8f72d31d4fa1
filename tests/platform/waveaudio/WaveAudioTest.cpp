#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "platform/waveaudio/TestWaveAudio.h"
#include "platform/waveaudio/WaveDocument.h"
#include "platform/waveaudio/WaveFormat.h"
#include "support/TestSupport.h"

namespace {

const TWaveFormat kCd{44100, 16, 2};
const TWaveFormat kPhone{8000, 8, 1};

QByteArray Bytes(int n, char first)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>(first + i);
    return b;
}

/// Parses a file's header as the device does.
bool Parse(const QString& path, TWaveFileInfo& info, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool ok = ParseWaveFile(fd, info, error);
    ::close(fd);
    return ok;
}

class WaveAudio : public ::testing::Test {
protected:
    QString File(const char* name) const { return dir.File(QString::fromLatin1(name)); }
    /// Names in the folder, hidden ones included (temporary files must not be left).
    QStringList Listing() const
    {
        return QDir(dir.Path())
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    void Advance(int64_t ms) { now += ms; }

    ProgramDirScope dir;
    int64_t now = 5000;
    TTestWaveAudio device{[this] { return now; }};
};

} // namespace

TEST(WaveFormat, HeadersOfTheDialogsExtremes)
{
    const QByteArray phone = BuildWaveHeader(kPhone, 0);
    EXPECT_EQ(phone,
              QByteArray("RIFF\x24\0\0\0WAVEfmt "
                         "\x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x40\x1f\0\0\x01\0\x08\0data\0\0\0\0",
                         44));
    const QByteArray cd = BuildWaveHeader(kCd, 1000);
    EXPECT_EQ(
        cd,
        QByteArray("RIFF\x0c\x04\0\0WAVEfmt "
                   "\x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0data\xe8\x03\0\0",
                   44));
    EXPECT_EQ(kCd.BytesToMs(176400), 1000);
    EXPECT_EQ(kCd.MsToBytes(1001), 176576); // 44144 frames, whole frames only
    EXPECT_EQ(kPhone.MsToBytes(-5), 0);
}

TEST_F(WaveAudio, HeaderParseAcceptsRealWorldLayoutsAndRefusesTheRest)
{
    // An odd-sized chunk before "fmt ", an extensible PCM header, a data size past the end of
    // the file with a torn last frame.
    QByteArray ext("RIFF\0\0\0\0WAVE", 12);
    ext += QByteArray("junk\x03\0\0\0abc\0", 12);
    ext += QByteArray(
        "fmt \x28\0\0\0\xfe\xff\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0\x16\0\x10\0\x03\0\0\0",
        32);
    ext += QByteArray("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16);
    ext += QByteArray("data\xff\xff\xff\xff", 8) + Bytes(10, 1);
    WriteWholeFile(File("ext.wav"), ext);
    TWaveFileInfo info;
    QString error;
    ASSERT_TRUE(Parse(File("ext.wav"), info, error)) << error.toStdString();
    EXPECT_EQ(info.Format, kCd);
    EXPECT_EQ(info.DataOffset, ext.size() - 10);
    EXPECT_EQ(info.DataSize, 8);

    const struct {
        const char* name;
        QByteArray data;
        const char* why;
    } bad[] = {
        {"empty.wav", QByteArray(), "not a WAV"},
        {"text.wav", QByteArray("hello, this is text, not sound"), "not a WAV"},
        {"float.wav", BuildWaveHeader(kCd, 0).replace(20, 2, QByteArray("\x03\0", 2)), "format"},
        {"24bit.wav", BuildWaveHeader({44100, 24, 2}, 0).replace(32, 2, QByteArray("\x06\0", 2)),
         "format"},
        {"nofmt.wav", QByteArray("RIFF\0\0\0\0WAVEdata\0\0\0\0", 20), "not a WAV"},
        {"cut.wav", BuildWaveHeader(kCd, 0).left(30), "format"},
    };
    for (const auto& b : bad) {
        WriteWholeFile(File(b.name), b.data);
        error.clear();
        EXPECT_FALSE(Parse(File(b.name), info, error)) << b.name;
        EXPECT_TRUE(error.contains(QString::fromLatin1(b.why)))
            << b.name << ": " << error.toStdString();
    }
    // A FIFO is refused without blocking.
    ASSERT_EQ(::mkfifo(QFile::encodeName(File("fifo.wav")).constData(), 0600), 0);
    TWaveDocument doc;
    EXPECT_FALSE(doc.Load(File("fifo.wav"), error));
    EXPECT_FALSE(doc.Load(File("missing.wav"), error));
}

TEST_F(WaveAudio, RecordingOverwritesFromThePositionAndSavesAValidFile)
{
    // Two seconds of known sound in a file, then takes over it.
    const QByteArray original = Bytes(8000 * 2, 'A');
    WriteWholeFile(File("doc.wav"), BuildWaveHeader(kPhone, 16000) + original);
    ::chmod(QFile::encodeName(File("doc.wav")).constData(), 0640);
    ASSERT_TRUE(device.Open(File("doc.wav")));
    EXPECT_EQ(device.Length(), 2000);
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);

    ASSERT_TRUE(device.Record(500)); // half a second from 0.5 s
    Advance(500);
    EXPECT_EQ(device.Mode(), TWaveMode::Recording);
    EXPECT_EQ(device.Length(), 2000);
    ASSERT_TRUE(device.Stop());
    EXPECT_EQ(device.Position(), 1000);
    ASSERT_TRUE(device.Record()); // from where it stands, past the end
    Advance(1500);
    ASSERT_TRUE(device.Stop());
    EXPECT_EQ(device.Length(), 2500);
    EXPECT_TRUE(device.HasUnsavedSound());
    // Nothing reached the file yet.
    EXPECT_EQ(ReadWholeFile(File("doc.wav")).mid(44), original);

    ASSERT_TRUE(device.Save());
    const QByteArray expected = original.left(4000) + TTestWaveAudio::Signal(kPhone, 0, 4000) +
                                TTestWaveAudio::Signal(kPhone, 0, 12000);
    EXPECT_EQ(ReadWholeFile(File("doc.wav")), BuildWaveHeader(kPhone, 20000) + expected);
    EXPECT_FALSE(device.HasUnsavedSound());
    struct stat st {};
    ::stat(QFile::encodeName(File("doc.wav")).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Listing(), QStringList{QStringLiteral("doc.wav")});

    // The device plays what it saved, and stands at the end when done.
    ASSERT_TRUE(device.Play(1000));
    EXPECT_EQ(device.Mode(), TWaveMode::Playing);
    Advance(1000);
    EXPECT_EQ(device.Position(), 2000);
    Advance(600);
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);
    EXPECT_EQ(device.Position(), 2500);
    ASSERT_TRUE(device.SeekToStart());
    EXPECT_EQ(device.Position(), 0);
}

TEST_F(WaveAudio, AWholeTakeIsRenamedIntoPlaceAndAnUnsavedOneLeavesNoTrace)
{
    WriteWholeFile(File("new.wav"), BuildWaveHeader(kCd, 0));
    ASSERT_TRUE(device.Open(File("new.wav")));
    ASSERT_TRUE(device.Record());
    Advance(1000);
    // The take lives in a hidden file beside the document, never only in memory.
    EXPECT_EQ(Listing().size(), 2);
    ASSERT_TRUE(device.Save()); // ends the take first
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);
    EXPECT_EQ(ReadWholeFile(File("new.wav")),
              BuildWaveHeader(kCd, 176400) + TTestWaveAudio::Signal(kCd, 0, 44100));
    EXPECT_EQ(Listing(), QStringList{QStringLiteral("new.wav")});

    // Recorded, not saved, closed: the file keeps its saved sound, the take is gone.
    ASSERT_TRUE(device.Record(0));
    Advance(300);
    ASSERT_TRUE(device.Close());
    EXPECT_EQ(ReadWholeFile(File("new.wav")).size(), 44 + 176400);
    EXPECT_EQ(Listing(), QStringList{QStringLiteral("new.wav")});
    EXPECT_EQ(device.Mode(), TWaveMode::NotOpen);
    EXPECT_FALSE(device.Record());
}

TEST_F(WaveAudio, AFileThatCannotBeReplacedKeepsItsSoundAndTheTake)
{
    WriteWholeFile(File("ro.wav"), BuildWaveHeader(kPhone, 0));
    ASSERT_TRUE(device.Open(File("ro.wav")));
    ASSERT_TRUE(device.Record());
    Advance(250);
    ::chmod(QFile::encodeName(File("ro.wav")).constData(), 0444);
    EXPECT_FALSE(device.Save());
    EXPECT_TRUE(device.ErrorText().contains(QStringLiteral("read-only")))
        << device.ErrorText().toStdString();
    EXPECT_EQ(ReadWholeFile(File("ro.wav")), BuildWaveHeader(kPhone, 0));
    EXPECT_TRUE(device.HasUnsavedSound());
    ::chmod(QFile::encodeName(File("ro.wav")).constData(), 0644);
    ASSERT_TRUE(device.Save());
    EXPECT_EQ(ReadWholeFile(File("ro.wav")).size(), 44 + 2000);
}

TEST_F(WaveAudio, ATakeStopsAtItsCapAndKeepsWhatFits)
{
    QString error;
    auto take = TTake::Create(File("x.wav"), kCd, 10, error);
    ASSERT_TRUE(take);
    const QByteArray sound = Bytes(12, 'a');
    EXPECT_TRUE(take->Append(sound.constData(), 4, error));
    EXPECT_FALSE(take->Append(sound.constData() + 4, 8, error));
    EXPECT_TRUE(error.contains(QStringLiteral("largest size"))) << error.toStdString();
    EXPECT_EQ(take->Size(), 8); // whole frames only
    TSoundPiece piece = take->Piece();
    QByteArray back(8, '\0');
    ASSERT_EQ(::pread(piece.File->Fd(), back.data(), 8, piece.Offset), 8);
    EXPECT_EQ(back, sound.left(8));
}

TEST_F(WaveAudio, RequestsAreRecordedAndFailuresReachTheUiThread)
{
    WriteWholeFile(File("r.wav"), BuildWaveHeader(kCd, 0));
    QString reported;
    device.OnFailure = [&](const QString& why) { reported = why; };
    device.SetTimeFormatMilliseconds();
    ASSERT_TRUE(device.Open(File("r.wav")));
    ASSERT_TRUE(device.Record(0));
    Advance(100);
    device.FailNow(QStringLiteral("gone"));
    EXPECT_TRUE(reported.isEmpty()); // queued, like a report from the audio thread
    ASSERT_TRUE(WaitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_EQ(reported, QStringLiteral("gone"));
    EXPECT_EQ(device.Mode(), TWaveMode::Stopped);
    EXPECT_EQ(device.Length(), 100); // the take up to the failure is kept
    EXPECT_TRUE(device.HasUnsavedSound());
    EXPECT_EQ(device.Actions(), (QStringList{QStringLiteral("set time format milliseconds"),
                                             QStringLiteral("open ") + File("r.wav"),
                                             QStringLiteral("record from 0")}));
    EXPECT_TRUE(device.Requests().contains(QStringLiteral("status length")));
}
