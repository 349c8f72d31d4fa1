// The WAV reader against files other tools wrote (decodes compared with ffmpeg's), its sample
// range and looping, and its refusal of damaged files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/ACSFileStream.h"
#include "audio/ACSMemoryStream.h"
#include "audio/ByteOrder.h"
#include "audio/WaveIn.h"
#include "audio/WaveOut.h"
#include "support/TestSupport.h"

namespace {

Bytes Decode(const char* fixture, int64_t request = 4096)
{
    TWaveIn in;
    in.SetFileName(AudioFixture(fixture));
    return ReadAll(in, request);
}

Bytes Reference(const char* fixture)
{
    QString name = QString::fromUtf8(fixture);
    name.replace(QStringLiteral(".wav"), QStringLiteral(".s16"));
    return LoadBytes(FixturesDir() + QStringLiteral("audio/") + name);
}

/// A reader over bytes in memory.
struct MemReader {
    explicit MemReader(Bytes data) : stream(std::move(data)) { in.SetStream(&stream); }
    TACSMemoryStream stream;
    TWaveIn in;
};

int OpenDescriptors()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

/// The chunks of a RIFF WAVE file in order (bodies without their pad bytes).
std::vector<std::pair<std::string, Bytes>> ChunksOf(const Bytes& file)
{
    std::vector<std::pair<std::string, Bytes>> out;
    size_t i = 12;
    while (i + 8 <= file.size()) {
        const size_t size = GetLE32(&file[i + 4]);
        const size_t end = std::min(file.size(), i + 8 + size);
        out.emplace_back(std::string(reinterpret_cast<const char*>(&file[i]), 4),
                         Bytes(file.data() + i + 8, file.data() + end));
        i += 8 + size + (size & 1);
    }
    return out;
}

Bytes ChunkOf(const Bytes& file, const char* id)
{
    for (const auto& [name, body] : ChunksOf(file))
        if (name == id)
            return body;
    return {};
}

/// The 16-bit samples another program decodes a file to; empty when it is missing or fails.
std::vector<int16_t> DecodedBy(const QString& tool, const QString& wav)
{
    if (!HaveProgram(tool))
        return {};
    const QString raw = wav + QStringLiteral(".") + tool + QStringLiteral(".raw");
    const QStringList args = tool == QStringLiteral("ffmpeg")
                                 ? QStringList{QStringLiteral("-v"),
                                               QStringLiteral("quiet"),
                                               QStringLiteral("-y"),
                                               QStringLiteral("-i"),
                                               wav,
                                               QStringLiteral("-f"),
                                               QStringLiteral("s16le"),
                                               raw}
                                 : QStringList{wav,
                                               QStringLiteral("-t"),
                                               QStringLiteral("raw"),
                                               QStringLiteral("-e"),
                                               QStringLiteral("signed-integer"),
                                               QStringLiteral("-b"),
                                               QStringLiteral("16"),
                                               raw};
    RunProgram(tool, args);
    return ToSamples(LoadBytes(raw));
}

Bytes PcmFile(const Bytes& data, uint16_t channels = 1, uint32_t rate = 8000, uint16_t bits = 16)
{
    return TWavBuilder()
        .Chunk("fmt ", TWavBuilder::Fmt(1, channels, rate,
                                        static_cast<uint16_t>(channels * bits / 8), bits))
        .Chunk("data", data)
        .Build();
}

} // namespace

TEST(AudioWaveIn, PcmMatchesFfmpegBitForBit)
{
    for (const char* f : {"pcm_s16_stereo_22050.wav", "pcm_s16_stereo_44100.wav",
                          "pcm_s16_stereo_48000.wav", "pcm_s16_mono_11025_list.wav"}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(Decode(f), Reference(f));
    }
    // 8-bit stays unsigned 8-bit; ffmpeg's reference is the same audio widened to 16 bits.
    const Bytes u8 = Decode("pcm_u8_mono_8000.wav");
    const std::vector<int16_t> ref = ToSamples(Reference("pcm_u8_mono_8000.wav"));
    ASSERT_EQ(u8.size(), ref.size());
    for (size_t i = 0; i < u8.size(); ++i)
        ASSERT_EQ((u8[i] - 128) * 256, ref[i]) << i;
}

TEST(AudioWaveIn, MicrosoftAdpcmMatchesFfmpegBitForBit)
{
    for (const char* f :
         {"ms_mono_ffmpeg.wav", "ms_stereo_ffmpeg.wav", "ms_stereo_sox.wav", "ms_mono_sox.wav"}) {
        SCOPED_TRACE(f);
        const Bytes ours = Decode(f);
        const Bytes ref = Reference(f);
        ASSERT_FALSE(ours.empty());
        ASSERT_LE(ours.size(), ref.size());
        EXPECT_TRUE(std::equal(ours.begin(), ours.end(), ref.begin()));
    }
}

TEST(AudioWaveIn, ImaAdpcmMatchesTheReferenceArithmetic)
{
    for (const char* f : {"ima_mono_ffmpeg.wav", "ima_stereo_ffmpeg.wav", "ima_stereo_sox.wav"}) {
        SCOPED_TRACE(f);
        const std::vector<int16_t> ours = ToSamples(Decode(f));
        ASSERT_FALSE(ours.empty());
        // sox decodes with the same term-by-term arithmetic: identical (none of these files
        // reaches the -32767/-32768 clamp difference).
        QString soxName = QString::fromUtf8(f);
        soxName.replace(QStringLiteral(".wav"), QStringLiteral(".sox.s16"));
        const std::vector<int16_t> sox =
            ToSamples(LoadBytes(FixturesDir() + QStringLiteral("audio/") + soxName));
        ASSERT_EQ(ours.size(), sox.size());
        EXPECT_TRUE(ours == sox);
        // ffmpeg rounds each step once instead of term by term: it drifts from the reference
        // inside a block (far below the signal) and agrees again at each block header.
        const std::vector<int16_t> ff = ToSamples(Reference(f));
        ASSERT_EQ(ours.size(), ff.size());
        double signal = 0, noise = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            signal += double(ff[i]) * ff[i];
            noise += double(ours[i] - ff[i]) * (ours[i] - ff[i]);
        }
        EXPECT_GT(10 * std::log10(signal / std::max(noise, 1.0)), 50.0);
        EXPECT_EQ(ours[0], ff[0]);
    }
}

TEST(AudioWaveIn, FormatSizeAndTotalsFromTheHeader)
{
    TWaveIn in;
    in.SetFileName(AudioFixture("pcm_s16_mono_11025_list.wav"));
    EXPECT_EQ(in.SampleRate(), 11025);
    EXPECT_EQ(in.Channels(), 1);
    EXPECT_EQ(in.BitsPerSample(), 16);
    EXPECT_EQ(in.TotalSamples(), 5513);
    EXPECT_EQ(in.TotalTime(), 1);
    EXPECT_EQ(in.WavType(), wtPCM);
    in.Init();
    EXPECT_EQ(in.Size(), 11026); // the data chunk, not the LIST chunk before it
    in.Flush();

    TWaveIn ima;
    ima.SetFileName(AudioFixture("ima_stereo_ffmpeg.wav"));
    EXPECT_EQ(ima.BitsPerSample(), 16);
    EXPECT_EQ(ima.TotalSamples(), 22374); // the fact chunk's frames
    EXPECT_TRUE(ima.Valid());
}

TEST(AudioWaveIn, ReadingTheFormatLeavesTheFileClosed)
{
    TWaveIn in;
    in.SetFileName(AudioFixture("pcm_s16_stereo_22050.wav"));
    const int before = OpenDescriptors();
    EXPECT_EQ(in.SampleRate(), 22050);
    EXPECT_EQ(OpenDescriptors(), before);
    in.Init();
    EXPECT_EQ(OpenDescriptors(), before + 1);
    EXPECT_EQ(in.SampleRate(), 22050); // nested opens share the one stream
    EXPECT_EQ(OpenDescriptors(), before + 1);
    in.Flush();
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST(AudioWaveIn, ErrorsOfInitAndGetData)
{
    TWaveIn in;
    uint8_t buf[16];
    try {
        in.GetData(buf, 16);
        FAIL();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
    try {
        in.Init();
        FAIL();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The file name is not assigned");
    }
    in.SetFileName(QStringLiteral("/nonexistent/x.wav"));
    EXPECT_THROW(in.Init(), EACSException);
    EXPECT_FALSE(in.Busy());

    in.SetFileName(AudioFixture("pcm_s16_stereo_22050.wav"));
    in.Init();
    try {
        in.Init();
        FAIL();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The component is buisy");
    }
    in.SetFileName(QStringLiteral("other.wav")); // ignored while busy
    EXPECT_EQ(in.FileName(), AudioFixture("pcm_s16_stereo_22050.wav"));
    in.Flush();
}

TEST(AudioWaveIn, LowerCaseTagsAreAccepted)
{
    Bytes pcm(200);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(i);
    Bytes file = TWavBuilder()
                     .Chunk("fmt ", TWavBuilder::Fmt(1, 1, 8000, 2, 16))
                     .Chunk("data", pcm)
                     .Build("riff", "wave");
    MemReader r(file);
    EXPECT_TRUE(r.in.Valid());
    EXPECT_EQ(ReadAll(r.in), pcm);
}

TEST(AudioWaveIn, FloatMatchesFfmpegBitForBit)
{
    // Both scale by 32768 and round half to even: the same 16-bit samples.
    const QString path = AudioFixture("float_stereo_44100.wav");
    TWaveIn in;
    in.SetFileName(path);
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.WavType(), wtFloat);
    EXPECT_EQ(in.BitsPerSample(), 16);
    const std::vector<int16_t> ours = ToSamples(ReadAll(in));
    ASSERT_EQ(ours.size(), static_cast<size_t>(in.TotalSamples()) * 2);
    if (!HaveProgram(QStringLiteral("ffmpeg")))
        GTEST_SKIP() << "needs ffmpeg";
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/float.wav");
    ASSERT_TRUE(QFile::copy(path, copy));
    EXPECT_TRUE(ours == DecodedBy(QStringLiteral("ffmpeg"), copy));
}

namespace {

Bytes Le24(std::initializer_list<int32_t> v)
{
    Bytes b;
    for (const int32_t x : v)
        for (int i = 0; i < 3; ++i)
            b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(x) >> (8 * i)));
    return b;
}

template <typename T> Bytes LeRaw(std::initializer_list<T> v)
{
    Bytes b(v.size() * sizeof(T));
    std::memcpy(b.data(), std::data(v), b.size()); // the host is little-endian
    return b;
}

/// The extensible header's extra bytes: cbSize 22, valid bits, channel mask, sub-format GUID.
Bytes Extensible(uint16_t subFormat, uint16_t validBits, bool knownGuid = true)
{
    Bytes e = {22, 0, static_cast<uint8_t>(validBits), static_cast<uint8_t>(validBits >> 8), 0, 0,
               0,  0, static_cast<uint8_t>(subFormat), static_cast<uint8_t>(subFormat >> 8)};
    const Bytes tail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    e.insert(e.end(), tail.begin(), tail.end());
    if (!knownGuid)
        e.back() = 0x72;
    return e;
}

Bytes WideFile(uint16_t tag, uint16_t channels, uint16_t bits, const Bytes& data,
               const Bytes& extra = {})
{
    return TWavBuilder()
        .Chunk("fmt ", TWavBuilder::Fmt(tag, channels, 48000,
                                        static_cast<uint16_t>(channels * bits / 8), bits, extra))
        .Chunk("data", data)
        .Build();
}

} // namespace

TEST(AudioWaveIn, WideAndFloatSamplesRoundToSixteenBitsWithoutDither)
{
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kLsb = 1.0f / 32768;
    // Halves go to the even neighbour; full scale and beyond clip; NaN is silence.
    struct Case {
        const char* what;
        Bytes file;
        std::vector<int16_t> expected;
        int channels = 1;
    };
    const Bytes s24 =
        Le24({0x000080, 0x000180, 0x00017F, 0x7FFFFF, -0x800000, -0x80, -0x180, 0x123456});
    const std::vector<int16_t> s24Out = {0, 2, 1, 32767, -32768, 0, -2, 0x1234};
    const Bytes f32 = LeRaw<float>(
        {0.5f, -1.0f, 1.0f, kNan, kInf, -kInf, 0.5f * kLsb, 1.5f * kLsb, -2.5f * kLsb, 4.0f});
    const std::vector<int16_t> f32Out = {16384, -32768, 32767, 0, 32767, -32768, 0, 2, -2, 32767};
    Bytes s24Cut = Le24({0x100, 0x200, 0x300, 0x400, 0x500});
    s24Cut.push_back(0x77); // 16 bytes: two stereo frames of 6 and 4 bytes of a third
    const std::vector<Case> cases = {
        {"24-bit", WideFile(1, 1, 24, s24), s24Out},
        {"32-bit integer",
         WideFile(1, 1, 32,
                  LeRaw<int32_t>({0x8000, 0x18000, 0x17FFF, INT32_MAX, INT32_MIN, -0x8000})),
         {0, 2, 1, 32767, -32768, 0}},
        {"32-bit float", WideFile(3, 1, 32, f32), f32Out},
        {"64-bit float",
         WideFile(3, 1, 64,
                  LeRaw<double>({0.25, std::numeric_limits<double>::quiet_NaN(),
                                 -std::numeric_limits<double>::infinity(), 3.5 / 32768})),
         {8192, 0, -32768, 4}},
        {"extensible 24-bit PCM", WideFile(0xFFFE, 1, 24, s24, Extensible(1, 24)), s24Out},
        {"extensible 20 valid bits in 24",
         WideFile(0xFFFE, 1, 24, Le24({0x123450, -0x100}), Extensible(1, 20)),
         {0x1234, -1}},
        {"extensible 32-bit float", WideFile(0xFFFE, 1, 32, f32, Extensible(3, 32)), f32Out},
        {"extensible 16-bit PCM",
         WideFile(0xFFFE, 2, 16, LeRaw<int16_t>({1, -2, 300, -400}), Extensible(1, 16)),
         {1, -2, 300, -400},
         2},
        {"24-bit stereo cut mid-frame", WideFile(1, 2, 24, s24Cut), {1, 2, 3, 4}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemReader r(c.file);
        EXPECT_TRUE(r.in.Valid());
        EXPECT_EQ(r.in.BitsPerSample(), 16);
        EXPECT_EQ(r.in.Channels(), c.channels);
        EXPECT_EQ(r.in.TotalSamples(), static_cast<int>(c.expected.size()) / c.channels);
        // Odd requests split frames across refills.
        EXPECT_EQ(ToSamples(ReadAll(r.in, 7)), c.expected);
    }
}

TEST(AudioWaveIn, WideSamplesSeekAndLoopByFrame)
{
    std::initializer_list<int32_t> v = {0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x800};
    MemReader r(WideFile(1, 2, 24, Le24(v)));
    r.in.SetStartSample(1);
    r.in.SetEndSample(3);
    EXPECT_EQ(ToSamples(ReadAll(r.in)), (std::vector<int16_t>{3, 4, 5, 6}));
    r.in.SetLoop(true);
    r.in.Init();
    int16_t buf[6];
    EXPECT_EQ(r.in.GetData(buf, 8), 8);
    EXPECT_EQ(r.in.GetData(buf, 12), 8); // the loop starts over at frame 1
    EXPECT_EQ(std::vector<int16_t>(buf, buf + 4), (std::vector<int16_t>{3, 4, 5, 6}));
    r.in.Flush();
}

TEST(AudioWaveIn, ARefusedFileSaysWhatItsFormatIs)
{
    const Bytes pcm(96, 0x40);
    struct Case {
        const char* what;
        Bytes file;
        const char* description;
    };
    const std::vector<Case> cases = {
        {"A-law", WideFile(6, 1, 8, pcm), "format tag 6, 8 bits, 1 channel"},
        {"12-bit PCM", WideFile(1, 2, 12, pcm), "format tag 1, 12 bits, 2 channels"},
        {"16-bit float", WideFile(3, 2, 16, pcm), "format tag 3, 16 bits, 2 channels"},
        {"extensible ADPCM", WideFile(0xFFFE, 2, 4, pcm, Extensible(2, 4)),
         "format tag 65534 (sub-format 2), 4 bits, 2 channels"},
        {"extensible, foreign GUID", WideFile(0xFFFE, 2, 24, pcm, Extensible(1, 24, false)),
         "format tag 65534 (unknown sub-format), 24 bits, 2 channels"},
        {"extensible, short", WideFile(0xFFFE, 2, 24, pcm, {0, 0}),
         "format tag 65534 (unknown sub-format), 24 bits, 2 channels"},
        {"no format chunk", TWavBuilder().Chunk("data", pcm).Build(), "no RIFF WAVE format chunk"},
        {"no data chunk", TWavBuilder().Chunk("fmt ", TWavBuilder::Fmt(1, 1, 8000, 3, 24)).Build(),
         "format tag 1, 24 bits, 1 channel, no data chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemReader r(c.file);
        EXPECT_FALSE(r.in.Valid());
        EXPECT_TRUE(ReadAll(r.in).empty());
        EXPECT_EQ(r.in.FormatDescription(), c.description);
    }
}

TEST(AudioWaveIn, TheWriterDoesNotAppendToHeadersItDoesNotWrite)
{
    // An extensible 16-bit file reads as PCM, but appending plain PCM under its header would
    // leave a file whose header no longer describes all of it.
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/ext.wav");
    SaveBytes(path, WideFile(0xFFFE, 2, 16, Bytes(400, 1), Extensible(1, 16)));
    TMemorySource src(Bytes(400, 2), 48000, 2, 16);
    TWaveOut out;
    TSinkWatcher w(out);
    out.SetFileName(path);
    out.SetFileMode(foAppend);
    out.SetInput(&src);
    RunToEnd(out, w);
    EXPECT_EQ(w.lastError(), QStringLiteral("Cannot append data to this .wav file."));
    EXPECT_EQ(LoadBytes(path).size(), 400u + 68u);
}

TEST(AudioWaveIn, LoopRestartsAtTheStartOfTheRange)
{
    Bytes pcm(1000);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(i * 3);
    MemReader r(PcmFile(pcm));
    r.in.SetLoop(true);
    r.in.Init();
    uint8_t buf[300];
    std::vector<int64_t> counts;
    for (int i = 0; i < 5; ++i)
        counts.push_back(r.in.GetData(buf, 300));
    EXPECT_EQ(counts, (std::vector<int64_t>{300, 300, 300, 100, 300}));
    EXPECT_TRUE(std::equal(buf, buf + 300, pcm.begin()));
    r.in.Flush();
}

TEST(AudioWaveIn, SampleRangeOfPcm)
{
    const Bytes ref = Reference("pcm_s16_stereo_22050.wav");
    TWaveIn in;
    in.SetFileName(AudioFixture("pcm_s16_stereo_22050.wav"));
    const int total = in.TotalSamples();
    in.SetStartSample(1000);
    in.Init();
    EXPECT_EQ(in.Size(), (total - 1000) * 4);
    in.Flush();
    in.SetEndSample(2000);
    const Bytes part = ReadAll(in, 333);
    ASSERT_EQ(part.size(), 4000u);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), ref.begin() + 4000));
    in.SetStartSample(-5); // ignored
    in.SetEndSample(-2);   // ignored
    EXPECT_EQ(in.StartSample(), 1000);
    EXPECT_EQ(in.EndSample(), 2000);
}

TEST(AudioWaveIn, StartSampleOnAdpcmStartsAtTheBlockHoldingIt)
{
    // 1024-byte mono blocks hold 2041 samples: frame 3000 lies in the second block, and the
    // decode resumes at that block's start.
    const std::vector<int16_t> all = ToSamples(Decode("ima_mono_ffmpeg.wav"));
    TWaveIn in;
    in.SetFileName(AudioFixture("ima_mono_ffmpeg.wav"));
    in.SetStartSample(3000);
    const std::vector<int16_t> from = ToSamples(ReadAll(in));
    ASSERT_GT(from.size(), 2041u);
    EXPECT_TRUE(std::equal(from.begin(), from.begin() + 2041, all.begin() + 2041));

    const std::vector<int16_t> allMs = ToSamples(Decode("ms_stereo_sox.wav"));
    TWaveIn ms;
    ms.SetFileName(AudioFixture("ms_stereo_sox.wav")); // 1024-byte stereo blocks: 1012 frames
    ms.SetStartSample(1500);
    const std::vector<int16_t> fromMs = ToSamples(ReadAll(ms));
    ASSERT_GT(fromMs.size(), 2024u);
    EXPECT_TRUE(std::equal(fromMs.begin(), fromMs.begin() + 2024, allMs.begin() + 2024));
}

TEST(AudioWaveIn, DamagedHeadersAreNotValidAndYieldNothing)
{
    const Bytes pcm(400, 0x40);
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes good = PcmFile(pcm);
    Bytes truncatedHeader(good.begin(), good.begin() + 30);
    Bytes chunkPastEnd = TWavBuilder().Chunk("JUNK", TWavBuilder::U32(0)).Build();
    chunkPastEnd[16] = 0xFF; // JUNK claims 4 GB
    chunkPastEnd[17] = 0xFF;
    chunkPastEnd[18] = 0xFF;
    chunkPastEnd.insert(chunkPastEnd.end(), good.begin() + 12, good.end());
    const std::vector<Case> cases = {
        {"empty", {}},
        {"truncated header", truncatedHeader},
        {"chunk past the end", chunkPastEnd},
        {"no data chunk", TWavBuilder().Chunk("fmt ", TWavBuilder::Fmt(1, 1, 8000, 2, 16)).Build()},
        {"zero channels", TWavBuilder()
                              .Chunk("fmt ", TWavBuilder::Fmt(1, 0, 8000, 2, 16))
                              .Chunk("data", pcm)
                              .Build()},
        {"zero block align", TWavBuilder()
                                 .Chunk("fmt ", TWavBuilder::Fmt(1, 1, 8000, 0, 16))
                                 .Chunk("data", pcm)
                                 .Build()},
        {"zero rate",
         TWavBuilder().Chunk("fmt ", TWavBuilder::Fmt(1, 1, 0, 2, 16)).Chunk("data", pcm).Build()},
        {"absurd rate", TWavBuilder()
                            .Chunk("fmt ", TWavBuilder::Fmt(1, 1, 0xFFFFFFF0u, 2, 16))
                            .Chunk("data", pcm)
                            .Build()},
        {"short fmt", TWavBuilder().Chunk("fmt ", Bytes{1, 0, 1, 0}).Chunk("data", pcm).Build()},
        {"ADPCM without fact",
         TWavBuilder()
             .Chunk("fmt ", TWavBuilder::Fmt(17, 1, 8000, 256, 4, {2, 0, 0xF9, 1}))
             .Chunk("data", pcm)
             .Build()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemReader r(c.file);
        EXPECT_FALSE(r.in.Valid());
        EXPECT_TRUE(ReadAll(r.in).empty());
    }
}

TEST(AudioWaveIn, DataChunkLongerThanTheFileDeliversWhatIsThere)
{
    Bytes pcm(400, 0x11);
    Bytes file = PcmFile(pcm);
    file[40] = 0x00; // data size 0x10000 with 400 bytes present
    file[41] = 0x00;
    file[42] = 0x01;
    MemReader r(file);
    EXPECT_TRUE(r.in.Valid());
    r.in.Init();
    EXPECT_EQ(r.in.Size(), 400);
    r.in.Flush();
    EXPECT_EQ(ReadAll(r.in), pcm);
}

TEST(AudioWaveIn, AdpcmDataEndingInACutBlockStopsAtTheChunkEnd)
{
    // Real files cut to three blocks and a piece, then a chunk of loud noise (or only the pad
    // byte an odd data chunk needs). Nothing after the data may become audio: ffmpeg and sox
    // agree on every one of these, and so must we.
    if (!HaveProgram(QStringLiteral("ffmpeg")) || !HaveProgram(QStringLiteral("sox")))
        GTEST_SKIP() << "needs ffmpeg and sox";
    QTemporaryDir dir;
    std::mt19937 noise(7);
    Bytes junk(3000);
    for (uint8_t& b : junk)
        b = static_cast<uint8_t>(noise());
    for (const char* fixture :
         {"ima_mono_ffmpeg.wav", "ima_stereo_sox.wav", "ms_mono_sox.wav", "ms_stereo_ffmpeg.wav"}) {
        const Bytes original = LoadBytes(AudioFixture(fixture));
        const Bytes fmt = ChunkOf(original, "fmt ");
        const Bytes allData = ChunkOf(original, "data");
        const int blockAlign = GetLE16(&fmt[12]);
        const bool ima = GetLE16(&fmt[0]) == 17;
        for (const int extra : {517, 300, 5, 1}) {
            for (const bool trailingChunk : {true, false}) {
                const std::string name = std::string(fixture) + "+" + std::to_string(extra) +
                                         (trailingChunk ? "+LIST" : "");
                SCOPED_TRACE(name);
                ASSERT_GE(allData.size(), static_cast<size_t>(3 * blockAlign + extra));
                const Bytes data(allData.begin(), allData.begin() + 3 * blockAlign + extra);
                TWavBuilder b;
                b.Chunk("fmt ", fmt).Chunk("fact", ChunkOf(original, "fact")).Chunk("data", data);
                if (trailingChunk)
                    b.Chunk("LIST", junk);
                const QString path = dir.path() + QStringLiteral("/") +
                                     QString::fromStdString(name) + QStringLiteral(".wav");
                SaveBytes(path, b.Build());

                TWaveIn in;
                in.SetFileName(path);
                const std::vector<int16_t> ours = ToSamples(ReadAll(in));
                EXPECT_EQ(static_cast<size_t>(in.TotalSamples()) *
                              static_cast<size_t>(in.Channels()),
                          ours.size());
                const std::vector<int16_t> ff = DecodedBy(QStringLiteral("ffmpeg"), path);
                const std::vector<int16_t> sox = DecodedBy(QStringLiteral("sox"), path);
                ASSERT_EQ(ff.size(), sox.size()) << "the tools disagree";
                ASSERT_EQ(ours.size(), ff.size());
                // Microsoft ADPCM is bit-exact with both; IMA with sox's arithmetic (see above).
                EXPECT_TRUE(ours == sox);
                if (!ima) {
                    EXPECT_TRUE(ours == ff);
                }
            }
        }
    }
}

TEST(AudioWaveIn, OddSizedChunksAreFollowedByTheirPadByte)
{
    QTemporaryDir dir;
    // A 21-byte LIST chunk and its pad byte before the data of a PCM file.
    const Bytes pcmFile = LoadBytes(AudioFixture("pcm_s16_stereo_22050.wav"));
    const Bytes info = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 9,   0,  0,
                        0,   'P', 'l', 'a', 't', 't', 'e', 'r', 'l', 'y'};
    const Bytes withList = TWavBuilder()
                               .Chunk("fmt ", ChunkOf(pcmFile, "fmt "))
                               .Chunk("LIST", info)
                               .Chunk("data", ChunkOf(pcmFile, "data"))
                               .Build();
    {
        MemReader r(withList);
        EXPECT_TRUE(r.in.Valid());
        EXPECT_EQ(ReadAll(r.in), Reference("pcm_s16_stereo_22050.wav"));
    }
    // Odd chunks around the fact chunk of ADPCM files: the same audio as without them.
    for (const char* fixture : {"ima_stereo_sox.wav", "ms_mono_sox.wav"}) {
        SCOPED_TRACE(fixture);
        const Bytes f = LoadBytes(AudioFixture(fixture));
        const Bytes odd = TWavBuilder()
                              .Chunk("fmt ", ChunkOf(f, "fmt "))
                              .Chunk("junk", Bytes{1, 2, 3})
                              .Chunk("fact", ChunkOf(f, "fact"))
                              .Chunk("PEAK", Bytes(5, 0xEE))
                              .Chunk("data", ChunkOf(f, "data"))
                              .Build();
        MemReader r(odd);
        EXPECT_TRUE(r.in.Valid());
        EXPECT_EQ(ReadAll(r.in), Decode(fixture));
    }
    // The WAV writer's append parse walks the same way and patches the right size field.
    const QString path = dir.path() + QStringLiteral("/list.wav");
    SaveBytes(path, withList);
    const Bytes more(4000, 0x21);
    TMemorySource src(more, 22050, 2, 16);
    TWaveOut out;
    TSinkWatcher w(out);
    out.SetFileName(path);
    out.SetFileMode(foAppend);
    out.SetInput(&src);
    RunToEnd(out, w);
    EXPECT_EQ(w.doneCount(), 1) << w.lastError().toStdString();
    TWaveIn in;
    in.SetFileName(path);
    Bytes expected = Reference("pcm_s16_stereo_22050.wav");
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(ReadAll(in), expected);
}

TEST(AudioWaveIn, MpegInWavIsConvertedInMemory)
{
    TWaveIn in;
    in.SetFileName(AudioFixture("mp3_in_wav.wav"));
    EXPECT_TRUE(in.Valid());
    EXPECT_EQ(in.WavType(), wtACM);
    EXPECT_EQ(in.SampleRate(), 22050);
    EXPECT_EQ(in.Channels(), 2);
    EXPECT_EQ(in.BitsPerSample(), 16);
    EXPECT_FALSE(in.Seek(1000)); // converted files do not seek
    const std::vector<int16_t> ours = ToSamples(ReadAll(in));
    const std::vector<int16_t> ref = ToSamples(Reference("mp3_in_wav.wav"));
    // A different MPEG decoder: lengths agree within the encoder's delay and padding, and the
    // audio matches closely once aligned.
    ASSERT_GT(ours.size(), 40000u);
    EXPECT_LT(std::abs(static_cast<long>(ours.size()) - static_cast<long>(ref.size())),
              2 * 2 * 1152);
    double best = 0;
    for (int shift = -2400; shift <= 2400; shift += 2) {
        double num = 0, den = 1e-9;
        for (size_t i = 4000; i < 20000; ++i) {
            const long j = static_cast<long>(i) + shift;
            if (j < 0 || static_cast<size_t>(j) >= ref.size())
                continue;
            const double r = ref[static_cast<size_t>(j)];
            num += double(ours[i]) * r;
            den += std::sqrt(double(ours[i]) * ours[i] * r * r);
        }
        best = std::max(best, num / den);
    }
    EXPECT_GT(best, 0.95);
}

TEST(AudioWaveIn, MpegInWavThatDoesNotDecodeIsNotValid)
{
    Bytes fmt =
        TWavBuilder::Fmt(85, 2, 22050, 1, 0, {12, 0, 1, 0, 2, 0, 0, 0, 0x80, 4, 1, 0, 0x71, 5});
    Bytes file = TWavBuilder()
                     .Chunk("fmt ", fmt)
                     .Chunk("fact", TWavBuilder::U32(1000))
                     .Chunk("data", Bytes(3000, 0x5A))
                     .Build();
    MemReader r(file);
    EXPECT_FALSE(r.in.Valid());
    EXPECT_TRUE(ReadAll(r.in).empty());
}

TEST(AudioWaveIn, NamesThatAreNotRegularFilesAreRefusedWithoutBlocking)
{
    QTemporaryDir dir;
    const QString fifo = dir.path() + QStringLiteral("/pipe.wav");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& name : {fifo, dir.path()}) {
        TWaveIn in;
        in.SetFileName(name);
        EXPECT_THROW(in.SampleRate(), EACSException); // a FIFO would block a plain open
        EXPECT_THROW(in.Init(), EACSException);
    }
}

TEST(AudioWaveIn, AReadErrorIsAnErrorNotTheEndOfTheFile)
{
    // A regular file whose reads fail with EIO: a reader that took the failure for the end of
    // the data would hand a cut file on as a whole one.
    const QString mem = QStringLiteral("/proc/self/mem");
    std::unique_ptr<TACSFileStream> s = TACSFileStream::Open(mem, TACSFileStream::Mode::Read);
    uint8_t b[16];
    try {
        s->Read(b, sizeof b);
        ADD_FAILURE() << "no exception";
    } catch (const EACSException& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Cannot read file \"%1\". %2")
                                .arg(mem, QString::fromLocal8Bit(std::strerror(EIO))));
    }
    TWaveIn in;
    in.SetFileName(mem);
    EXPECT_THROW(in.Init(), EACSException);
}

TEST(AudioWaveIn, AFileCutShortWhileReadIsAnErrorNotItsEnd)
{
    // A conversion whose source is truncated mid-job must not end as a whole, shorter track.
    for (const uint16_t bits : {uint16_t(16), uint16_t(24)}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cut.wav"));
        SaveBytes(path, PcmFile(Bytes(600000, 0x22), 2, 44100, bits));
        TWaveIn in;
        in.SetFileName(path);
        in.Init();
        std::vector<uint8_t> buffer(4096);
        ASSERT_EQ(in.GetData(buffer.data(), int64_t(buffer.size())), int64_t(buffer.size()));
        ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 1000), 0);
        try {
            while (in.GetData(buffer.data(), int64_t(buffer.size())) > 0) {
            }
            ADD_FAILURE() << bits << " bits: the cut file ended as a whole one";
        } catch (const EACSException& e) {
            EXPECT_EQ(e.text(), path + QStringLiteral(" was cut short while it was read."));
        }
        in.Flush();
    }
}
