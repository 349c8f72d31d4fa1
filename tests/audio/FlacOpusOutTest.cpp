// The FLAC and Opus writers, checked with the reference decoders: FLAC bit for bit, Opus to the
// input's length; stopped and failed jobs; random Ogg serials.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/ByteOrder.h"
#include "audio/FlacOut.h"
#include "audio/OpusOut.h"
#include "audio/WaveIn.h"

namespace {

class AudioFlacOpus : public ::testing::Test {
protected:
    QString Path(const char* name) const
    {
        return dir.path() + QStringLiteral("/") + QString::fromUtf8(name);
    }
    /// Runs one job of sink on src into name; the error text, empty on success.
    QString Encode(TACSFileOut& sink, TACSInput& src, const char* name)
    {
        TSinkWatcher w(sink);
        sink.SetFileName(Path(name));
        sink.SetInput(&src);
        RunToEnd(sink, w);
        return w.lastError();
    }
    /// Decodes with an independent tool to WAV and returns its PCM.
    Bytes Decoded(const QString& tool, QStringList args, const char* wav)
    {
        if (tool == QLatin1String("flac"))
            args << QStringLiteral("-o");
        args << Path(wav);
        QByteArray out;
        EXPECT_EQ(RunProgram(tool, args, out), 0) << out.toStdString();
        TWaveIn in;
        in.SetFileName(Path(wav));
        return ReadAll(in);
    }
    QTemporaryDir dir;
};

/// Noise-like audio: a sine alone compresses too well to show a lost bit.
Bytes Audio(int frames, int channels)
{
    std::vector<int16_t> s = Sine(frames, channels, 44100);
    uint32_t x = 12345;
    for (int16_t& v : s) {
        x = x * 1103515245u + 12345u;
        v = static_cast<int16_t>(v + static_cast<int16_t>((x >> 16) & 0x3ff) - 512);
    }
    return ToBytes(s);
}

TEST_F(AudioFlacOpus, FlacDecodesBitForBit)
{
    if (!HaveProgram(QStringLiteral("flac")))
        GTEST_SKIP() << "flac not installed";
    struct Case {
        int channels, bits, level;
    };
    for (const Case c : {Case{2, 16, 5}, Case{1, 16, 0}, Case{2, 16, 8}, Case{1, 8, 5}}) {
        const int frames = 44100 * 2 + 123;
        Bytes pcm = Audio(frames, c.channels);
        if (c.bits == 8)
            pcm.resize(static_cast<size_t>(frames * c.channels));
        TMemorySource src(pcm, 44100, c.channels, c.bits);
        src.chunk = 10000; // frames split across reads
        TFlacOut flac;
        flac.SetCompressionLevel(c.level);
        ASSERT_EQ(Encode(flac, src, "a.flac"), QString());
        EXPECT_EQ(Decoded(QStringLiteral("flac"),
                          {QStringLiteral("-d"), QStringLiteral("-s"), QStringLiteral("-f"),
                           Path("a.flac")},
                          "a.wav"),
                  pcm)
            << c.channels << " channels, " << c.bits << " bits, level " << c.level;
    }
}

TEST_F(AudioFlacOpus, OpusDecodesToTheInputsLengthWithItsOwnSerial)
{
    if (!HaveProgram(QStringLiteral("opusdec")))
        GTEST_SKIP() << "opus-tools not installed";
    const int frames = 44100 * 3 + 77;
    uint32_t serials[2] = {};
    for (int k = 0; k < 2; ++k) {
        TMemorySource src(Audio(frames, 2), 44100, 2, 16);
        TOpusOut opus;
        opus.SetComments({QStringLiteral("TITLE=a/b")});
        const char* name = k == 0 ? "a.opus" : "b.opus";
        ASSERT_EQ(Encode(opus, src, name), QString());
        EXPECT_TRUE(opus.Comments().isEmpty());
        const Bytes file = LoadBytes(Path(name));
        ASSERT_GT(file.size(), 28u);
        serials[k] = GetLE32(&file[14]);
    }
    EXPECT_NE(serials[0], serials[1]);
    const Bytes pcm = Decoded(QStringLiteral("opusdec"),
                              {QStringLiteral("--quiet"), QStringLiteral("--rate"),
                               QStringLiteral("44100"), Path("a.opus")},
                              "a.wav");
    EXPECT_EQ(pcm.size(), static_cast<size_t>(frames) * 4);
}

TEST_F(AudioFlacOpus, OpusBitrateIsClamped)
{
    TOpusOut opus;
    opus.SetBitrate(0);
    EXPECT_EQ(opus.Bitrate(), 6);
    opus.SetBitrate(1000);
    EXPECT_EQ(opus.Bitrate(), 512);
}

TEST_F(AudioFlacOpus, AStoppedJobLeavesAValidShorterFile)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TACSFileOut>()> make;
        QString tool;
        QStringList test;
    };
    const Case cases[] = {
        {"s.flac",
         [] { return std::make_unique<TFlacOut>(); },
         QStringLiteral("flac"),
         {QStringLiteral("-t"), QStringLiteral("-s")}},
        {"s.opus", [] { return std::make_unique<TOpusOut>(); }, QStringLiteral("opusinfo"), {}},
    };
    for (const Case& c : cases) {
        TMemorySource src(Audio(44100 * 20, 2), 44100, 2, 16);
        src.chunk = 16384;
        src.holdAt = 44100 * 4 * 2;
        auto sink = c.make();
        TSinkWatcher w(*sink);
        sink->SetInput(&src);
        sink->SetFileName(Path(c.name));
        sink->Run();
        ASSERT_TRUE(src.gate.WaitHeld());
        sink->Pause();
        src.gate.Open();
        sink->Done();
        EXPECT_EQ(w.doneCount(), 0);
        EXPECT_FALSE(sink->Failed());
        if (HaveProgram(c.tool)) {
            QByteArray out;
            EXPECT_EQ(RunProgram(c.tool, QStringList(c.test) << Path(c.name), out), 0)
                << c.name << ": " << out.toStdString();
        }
    }
}

TEST_F(AudioFlacOpus, AnOpusJobStoppedBeforeAnyAudioFailsWithoutAbortingTheProcess)
{
    TMemorySource src(Audio(44100, 2), 44100, 2, 16);
    TOpusOut opus;
    opus.SetInput(&src);
    opus.SetFileName(Path("none.opus"));
    opus.Prepare();
    EXPECT_THROW(opus.Done(), EACSException);
    EXPECT_FALSE(QFile::exists(Path("none.opus")));
}

TEST_F(AudioFlacOpus, AFileThatCannotBeWrittenIsRemoved)
{
    for (const char* name : {"full.flac", "full.opus"}) {
        TMemorySource src(Audio(44100 * 10, 2), 44100, 2, 16);
        std::unique_ptr<TACSFileOut> sink;
        if (QByteArray(name).endsWith("flac"))
            sink = std::make_unique<TFlacOut>();
        else
            sink = std::make_unique<TOpusOut>();
        QString error;
        {
            TFileSizeLimit limit(20000);
            ASSERT_TRUE(limit.ok());
            error = Encode(*sink, src, name);
        }
        EXPECT_FALSE(error.isEmpty()) << name;
        EXPECT_FALSE(QFile::exists(Path(name))) << name;
        EXPECT_FALSE(src.Busy());
    }
}

} // namespace
