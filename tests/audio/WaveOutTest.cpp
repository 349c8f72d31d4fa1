// The WAV writer: headers, size patching, ADPCM blocks, append rules and messages, and the
// round trip through the reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/ACSMemoryStream.h"
#include "audio/ByteOrder.h"
#include "audio/RateConverter.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"

namespace {

class AudioWaveOut : public ::testing::Test {
protected:
    QString Path(const char* name) const
    {
        return dir.path() + QStringLiteral("/") + QString::fromUtf8(name);
    }

    /// Writes src to a file with the writer configured by setup; returns the file's bytes.
    Bytes Write(TACSInput& src, const char* name, const std::function<void(TWaveOut&)>& setup = {})
    {
        TWaveOut out;
        TSinkWatcher w(out);
        out.SetFileName(*name ? Path(name) : QString());
        out.SetInput(&src);
        if (setup)
            setup(out);
        RunToEnd(out, w);
        lastError = w.lastError();
        return *name ? LoadBytes(Path(name)) : Bytes();
    }

    QTemporaryDir dir;
    QString lastError;
};

uint32_t At32(const Bytes& b, size_t i)
{
    return GetLE32(b.data() + i);
}
uint16_t At16(const Bytes& b, size_t i)
{
    return GetLE16(b.data() + i);
}

double Snr(const std::vector<int16_t>& ref, const std::vector<int16_t>& got, size_t n)
{
    double s = 0, e = 0;
    for (size_t i = 0; i < n; ++i) {
        s += double(ref[i]) * ref[i];
        e += double(ref[i] - got[i]) * (ref[i] - got[i]);
    }
    return 10 * std::log10(s / std::max(e, 1.0));
}

/// A memory stream whose writes fail once it holds `limit` bytes, or (headerLocked) any write
/// that goes back into the first 44 bytes once they are written.
class TFullStream : public TACSMemoryStream {
public:
    explicit TFullStream(int64_t limit) : limit_(limit) {}
    void Write(const void* buffer, int64_t count) override
    {
        if (Position() + count > limit_ || (headerLocked && Position() < 44 && Size() >= 44))
            throw EACSException("Stream write error");
        TACSMemoryStream::Write(buffer, count);
    }
    bool headerLocked = false;

private:
    int64_t limit_;
};

} // namespace

TEST_F(AudioWaveOut, PcmHeaderFromAKnownSizeAndTheDataAsDelivered)
{
    const Bytes pcm = ToBytes(Sine(10000, 2, 22050));
    TMemorySource src(pcm, 22050, 2, 16);
    src.chunk = 3000;
    const Bytes f = Write(src, "a.wav");
    ASSERT_EQ(f.size(), 44 + pcm.size());
    EXPECT_EQ(std::string(f.begin(), f.begin() + 4), "RIFF");
    EXPECT_EQ(At32(f, 4), pcm.size() + 36);
    EXPECT_EQ(At16(f, 20), 1);
    EXPECT_EQ(At16(f, 22), 2);
    EXPECT_EQ(At32(f, 24), 22050u);
    EXPECT_EQ(At32(f, 28), 22050u * 4);
    EXPECT_EQ(At16(f, 32), 4);
    EXPECT_EQ(At16(f, 34), 16);
    EXPECT_EQ(At32(f, 40), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), f.begin() + 44));
    EXPECT_FALSE(src.Busy()); // flushed by Done
}

TEST_F(AudioWaveOut, PcmSizesComeFromTheFileWhenTheInputCannotTell)
{
    const Bytes pcm(5000, 0x80);
    TMemorySource unknown(pcm, 8000, 1, 8);
    unknown.reportedSize = -1;
    Bytes f = Write(unknown, "u.wav");
    EXPECT_EQ(At32(f, 40), 5000u);
    EXPECT_EQ(At32(f, 4), 5036u);

    // An input that delivers less than it announced no longer leaves a header claiming more.
    TMemorySource shortInput(pcm, 8000, 1, 8);
    shortInput.reportedSize = 9000;
    f = Write(shortInput, "s.wav");
    EXPECT_EQ(At32(f, 40), 5000u);
    EXPECT_EQ(At32(f, 4), 5036u);
}

TEST_F(AudioWaveOut, WriteErrorsEndTheJobAsFailed)
{
    TMemorySource src(Bytes(100000, 1), 44100, 2, 16);
    TFullStream stream(30000);
    TWaveOut out;
    TSinkWatcher w(out);
    out.SetStream(&stream);
    out.SetInput(&src);
    RunToEnd(out, w);
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_EQ(w.errorCount(), 1);
    EXPECT_EQ(w.lastError(), QStringLiteral("Stream write error"));
    EXPECT_TRUE(out.Failed());
    EXPECT_LE(stream.Size(), 30000);
    EXPECT_FALSE(src.Busy());
    // The job stopped at the failure instead of reading on.
    EXPECT_LT(src.Position(), 100000);

    // Rewriting the header sizes at the end fails too: no OnDone for a header left wrong.
    TMemorySource unknown(Bytes(5000, 1), 44100, 2, 16);
    unknown.reportedSize = -1;
    TFullStream locked(1 << 20);
    locked.headerLocked = true;
    TWaveOut out2;
    TSinkWatcher w2(out2);
    out2.SetStream(&locked);
    out2.SetInput(&unknown);
    RunToEnd(out2, w2);
    EXPECT_EQ(w2.doneCount(), 0);
    EXPECT_EQ(w2.errorCount(), 1);
    EXPECT_TRUE(out2.Failed());
    EXPECT_FALSE(unknown.Busy());
}

TEST_F(AudioWaveOut, ReadErrorsEndTheJobAsFailed)
{
    TMemorySource src(Bytes(100000, 1), 44100, 2, 16);
    src.failAfter = 40000; // the fourth 16384-byte read fails
    Bytes f = Write(src, "r.wav");
    EXPECT_EQ(lastError, QStringLiteral("source failed"));
    EXPECT_EQ(f.size(), 44u + 16384u * 3);
    EXPECT_EQ(At32(f, 40), 16384u * 3); // the header tells what the file holds
    EXPECT_EQ(At32(f, 4), 16384u * 3 + 36);
}

TEST_F(AudioWaveOut, AFileTooLargeForTheSystemFailsTheJob)
{
    // Past the limit, writes fail with EFBIG: the writer's answer to a full disk, without root.
    struct Case {
        const char* name;
        size_t bytes;
        TWavType type;
    };
    // 150000 bytes fail while the job runs; 30000 fit the write buffer and fail only when the
    // file is finished, after every step succeeded.
    for (const Case c : {Case{"big.wav", 150000, wtPCM}, Case{"small.wav", 30000, wtPCM},
                         Case{"big-ima.wav", 600000, wtDVIADPCM}}) {
        SCOPED_TRACE(c.name);
        TMemorySource src(ToBytes(Sine(static_cast<int>(c.bytes / 4), 2, 44100)), 44100, 2, 16);
        TWaveOut out;
        TSinkWatcher w(out);
        out.SetFileName(Path(c.name));
        out.SetInput(&src);
        out.SetWavType(c.type);
        {
            TFileSizeLimit limit(20000);
            ASSERT_TRUE(limit.ok());
            RunToEnd(out, w);
        }
        EXPECT_EQ(w.doneCount(), 0);
        ASSERT_EQ(w.errorCount(), 1);
        EXPECT_EQ(w.lastError(),
                  QStringLiteral("Cannot write file \"%1\". %2")
                      .arg(Path(c.name), QString::fromLocal8Bit(std::strerror(EFBIG))));
        EXPECT_TRUE(out.Failed());
        EXPECT_FALSE(src.Busy());
        const Bytes f = LoadBytes(Path(c.name));
        ASSERT_GE(f.size(), 60u);
        EXPECT_LE(f.size(), 20000u);
        // What is left says how much it holds.
        const size_t header = c.type == wtPCM ? 44 : 60;
        EXPECT_EQ(At32(f, header - 4), f.size() - header);
        EXPECT_EQ(At32(f, 4), f.size() - 8);
        if (c.type == wtDVIADPCM) {
            EXPECT_EQ(At32(f, 48), (f.size() - 60) / 512 * 505); // frames in the blocks held
        }
    }
}

TEST_F(AudioWaveOut, AFullDiskFailsTheJob)
{
    TSmallDisk disk(Path("disk"), 64);
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a small tmpfs";
    TMemorySource src(ToBytes(Sine(100000, 2, 44100)), 44100, 2, 16);
    TWaveOut out;
    TSinkWatcher w(out);
    out.SetFileName(Path("disk/full.wav"));
    out.SetInput(&src);
    RunToEnd(out, w);
    EXPECT_EQ(w.doneCount(), 0);
    ASSERT_EQ(w.errorCount(), 1);
    EXPECT_TRUE(w.lastError().endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << w.lastError().toStdString();
    EXPECT_TRUE(out.Failed());
    EXPECT_LT(LoadBytes(Path("disk/full.wav")).size(), 400044u);
}

TEST_F(AudioWaveOut, AnOutputThatIsTheInputIsRefusedUntouched)
{
    const Bytes original = MakeOneInputUnderManyNames(dir.path(), "pcm_s16_stereo_22050.wav");
    ASSERT_FALSE(HasFailure());
    for (const char* name : kOneInputNames) {
        SCOPED_TRACE(name);
        // Through a filter too, as the resampling job wires it.
        TWaveIn in;
        in.SetFileName(Path("in.wav"));
        TRateConverter rate;
        rate.SetInput(&in);
        rate.SetOutSampleRate(44100);
        TWaveOut out;
        TSinkWatcher w(out);
        out.SetInput(&rate);
        out.SetFileName(Path(name));
        RunToEnd(out, w);
        EXPECT_EQ(w.doneCount(), 0);
        EXPECT_EQ(w.lastError(),
                  QStringLiteral("The output file \"%1\" is the input file.").arg(Path(name)));
        EXPECT_EQ(LoadBytes(Path("in.wav")), original);
        EXPECT_FALSE(in.Busy());
    }
}

TEST_F(AudioWaveOut, MessagesThroughOnThreadException)
{
    TMemorySource src(Bytes(100, 0), 8000, 1, 16);
    Write(src, "");
    EXPECT_EQ(lastError, QStringLiteral("File name is not assigned."));

    TMemorySource eight(Bytes(100, 0x80), 8000, 1, 8);
    Write(eight, "ima8.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot encode 8 bit sound into ADPCM."));
    EXPECT_FALSE(eight.Busy());
}

TEST_F(AudioWaveOut, AnInputThatCannotStartLeavesAnExistingFileAlone)
{
    SaveBytes(Path("keep.wav"), Bytes(100, 7));
    TMemorySource src(Bytes(100, 0), 8000, 1, 16);
    src.onInit = [] { throw EACSException("cannot start"); };
    Write(src, "keep.wav");
    EXPECT_EQ(lastError, QStringLiteral("cannot start"));
    EXPECT_EQ(LoadBytes(Path("keep.wav")), Bytes(100, 7));
}

TEST_F(AudioWaveOut, SettersAcceptOnlyWhatTheWriterSupports)
{
    TWaveOut out;
    out.SetBlockSize(514);
    EXPECT_EQ(out.BlockSize(), 512);
    out.SetBlockSize(0);
    EXPECT_EQ(out.BlockSize(), 512);
    out.SetBlockSize(1024);
    EXPECT_EQ(out.BlockSize(), 1024);
    out.SetWavType(wtMSADPCM);
    EXPECT_EQ(out.WavType(), wtPCM);
    out.SetWavType(wtDVIADPCM);
    EXPECT_EQ(out.WavType(), wtDVIADPCM);
    out.SetFileMode(foAppend);
    EXPECT_EQ(out.FileMode(), foAppend);
}

TEST_F(AudioWaveOut, ImaAdpcmBlocksPaddingAndHeader)
{
    // Mono, 512-byte blocks: 1017 samples each. 2500 samples end inside the third block.
    const std::vector<int16_t> pcm = Sine(2500, 1, 22050);
    TMemorySource src(ToBytes(pcm), 22050, 1, 16);
    const Bytes f = Write(src, "ima.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    ASSERT_EQ(f.size(), 60u + 3 * 512);
    EXPECT_EQ(At32(f, 16), 20u);
    EXPECT_EQ(At16(f, 20), 17);
    EXPECT_EQ(At32(f, 28), (22050u / 1017) * 512);
    EXPECT_EQ(At16(f, 32), 512);
    EXPECT_EQ(At16(f, 34), 4);
    EXPECT_EQ(At16(f, 38), 1017);
    EXPECT_EQ(At32(f, 48), 2500u);    // frames
    EXPECT_EQ(At32(f, 56), 3u * 512); // the data really written
    EXPECT_EQ(At32(f, 4), f.size() - 8);
    EXPECT_EQ(At16(f, 60), static_cast<uint16_t>(pcm[0])); // first block's predictor

    // Input ending exactly on a block boundary gets one more (silent) block.
    TMemorySource exact(ToBytes(Sine(2034, 1, 22050)), 22050, 1, 16);
    const Bytes g = Write(exact, "ima2.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    EXPECT_EQ(g.size(), 60u + 3 * 512);
    EXPECT_EQ(At32(g, 56), 3u * 512);

    // Stereo 512-byte blocks hold 505 frames.
    TMemorySource stereo(ToBytes(Sine(1010, 2, 22050)), 22050, 2, 16);
    const Bytes h = Write(stereo, "ima3.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    EXPECT_EQ(At16(h, 38), 505);
    EXPECT_EQ(h.size(), 60u + 3 * 512);
}

TEST_F(AudioWaveOut, ImaAdpcmRoundTripsThroughTheReader)
{
    const std::vector<int16_t> mono = Sine(5000, 1, 22050);
    TMemorySource src(ToBytes(mono), 22050, 1, 16);
    Write(src, "rt.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    TWaveIn in;
    in.SetFileName(Path("rt.wav"));
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.TotalSamples(), 5000);
    const std::vector<int16_t> back = ToSamples(ReadAll(in));
    ASSERT_EQ(back.size(), 5u * 1017); // whole blocks: the last one's padding included
    EXPECT_GT(Snr(mono, back, mono.size()), 25.0);
    // Block headers restart the decoder exactly at the input sample.
    EXPECT_EQ(back[0], mono[0]);
    EXPECT_EQ(back[1017], mono[1017]);

    // StartSample 1500 starts decoding at the second block.
    in.SetStartSample(1500);
    const std::vector<int16_t> from = ToSamples(ReadAll(in));
    ASSERT_GT(from.size(), 10u);
    EXPECT_TRUE(std::equal(from.begin(), from.begin() + 1017, back.begin() + 1017));

    const std::vector<int16_t> stereo = Sine(3000, 2, 44100);
    TMemorySource src2(ToBytes(stereo), 44100, 2, 16);
    Write(src2, "rt2.wav", [](TWaveOut& o) {
        o.SetWavType(wtDVIADPCM);
        o.SetBlockSize(1024);
    });
    TWaveIn in2;
    in2.SetFileName(Path("rt2.wav"));
    const std::vector<int16_t> back2 = ToSamples(ReadAll(in2));
    EXPECT_GT(Snr(stereo, back2, stereo.size()), 25.0);
}

TEST_F(AudioWaveOut, AppendingPcmContinuesTheFileAndPatchesItsSizes)
{
    const Bytes first = ToBytes(Sine(1000, 2, 22050));
    TMemorySource a(first, 22050, 2, 16);
    Write(a, "app.wav");
    const Bytes second(4000, 0x42);
    TMemorySource b(second, 22050, 2, 16);
    const Bytes f = Write(b, "app.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    ASSERT_EQ(f.size(), 44 + first.size() + second.size());
    EXPECT_EQ(At32(f, 40), first.size() + second.size());
    EXPECT_EQ(At32(f, 4), f.size() - 8);
    EXPECT_TRUE(std::equal(second.begin(), second.end(), f.end() - 4000));

    // Appending to a file with chunks before its data patches that file's own size field.
    QFile::copy(AudioFixture("pcm_s16_mono_11025_list.wav"), Path("list.wav"));
    const Bytes before = LoadBytes(Path("list.wav"));
    TMemorySource c(Bytes(200, 0x10), 11025, 1, 16);
    const Bytes g = Write(c, "list.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    ASSERT_EQ(g.size(), before.size() + 200);
    EXPECT_EQ(At32(g, 74), 11026u + 200);
    EXPECT_TRUE(std::equal(before.begin() + 78, before.end(), g.begin() + 78));
}

TEST_F(AudioWaveOut, AppendRefusalsLeaveTheFileAsItWas)
{
    QFile::copy(AudioFixture("pcm_s16_stereo_22050.wav"), Path("p.wav"));
    QFile::copy(AudioFixture("ms_stereo_sox.wav"), Path("ms.wav"));
    const Bytes p = LoadBytes(Path("p.wav"));
    const Bytes ms = LoadBytes(Path("ms.wav"));

    TMemorySource rate(Bytes(400, 0), 44100, 2, 16);
    Write(rate, "p.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot append data in different audio format."));
    EXPECT_EQ(LoadBytes(Path("p.wav")), p);
    EXPECT_FALSE(rate.Busy());

    TMemorySource mono(Bytes(400, 0), 22050, 1, 16);
    Write(mono, "p.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot append data in different audio format."));
    EXPECT_EQ(LoadBytes(Path("p.wav")), p);

    TMemorySource any(Bytes(400, 0), 22050, 2, 16);
    Write(any, "ms.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot append data to this .wav file."));
    EXPECT_EQ(LoadBytes(Path("ms.wav")), ms);

    SaveBytes(Path("junk.wav"), Bytes(300, 0x55));
    Write(any, "junk.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot append data to this .wav file."));
    EXPECT_EQ(LoadBytes(Path("junk.wav")), Bytes(300, 0x55));
}

TEST_F(AudioWaveOut, AppendingToImaAdpcmUsesTheFilesFormat)
{
    // 256-byte mono blocks hold 505 samples: 2000 samples take 4 blocks, 1000 more take 2.
    TMemorySource a(ToBytes(Sine(2000, 1, 22050)), 22050, 1, 16);
    Write(a, "i.wav", [](TWaveOut& o) {
        o.SetWavType(wtDVIADPCM);
        o.SetBlockSize(256);
    });
    TMemorySource b(ToBytes(Sine(1000, 1, 22050)), 22050, 1, 16);
    TWaveOut out;
    TSinkWatcher w(out);
    out.SetFileName(Path("i.wav"));
    out.SetInput(&b);
    out.SetFileMode(foAppend); // the writer still asks for PCM in 512-byte blocks
    RunToEnd(out, w);
    EXPECT_EQ(out.WavType(), wtDVIADPCM);
    EXPECT_EQ(out.BlockSize(), 256);
    const Bytes f = LoadBytes(Path("i.wav"));
    ASSERT_EQ(f.size(), 60u + 6 * 256);
    EXPECT_EQ(At32(f, 56), 6u * 256);
    EXPECT_EQ(At32(f, 48), 6u * 505);
    EXPECT_EQ(At32(f, 4), f.size() - 8);

    // A different rate is refused like PCM's.
    TMemorySource c(ToBytes(Sine(100, 1, 8000)), 8000, 1, 16);
    const Bytes before = LoadBytes(Path("i.wav"));
    Write(c, "i.wav", [](TWaveOut& o) { o.SetFileMode(foAppend); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot append data in different audio format."));
    EXPECT_EQ(LoadBytes(Path("i.wav")), before);
}

TEST_F(AudioWaveOut, ImaAdpcmStereoBlocksStayWholeCodeGroups)
{
    // 516 is a multiple of 4 but leaves half a code group in stereo: 512-byte blocks are
    // written instead of codes past the block's end.
    const std::vector<int16_t> st = Sine(2000, 2, 22050);
    TMemorySource src(ToBytes(st), 22050, 2, 16);
    const Bytes f = Write(src, "g.wav", [](TWaveOut& o) {
        o.SetWavType(wtDVIADPCM);
        o.SetBlockSize(516);
    });
    EXPECT_EQ(At16(f, 32), 512);
    EXPECT_EQ(At16(f, 38), 505);
    EXPECT_EQ((f.size() - 60) % 512, 0u);
    TWaveIn in;
    in.SetFileName(Path("g.wav"));
    EXPECT_GT(Snr(st, ToSamples(ReadAll(in)), st.size()), 25.0);

    TMemorySource three(Bytes(600, 0), 22050, 3, 16);
    Write(three, "three.wav", [](TWaveOut& o) { o.SetWavType(wtDVIADPCM); });
    EXPECT_EQ(lastError, QStringLiteral("Cannot encode this channel count into ADPCM."));
}
