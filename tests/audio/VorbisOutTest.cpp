// The Ogg Vorbis writer: bit-rate setter order, what lands in the stream (headers, comments,
// serial, end of stream), decoding by oggdec, a stopped encode, and missing libraries.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "AudioTestUtil.h"
#include "audio/ACSException.h"
#include "audio/ByteOrder.h"
#include "audio/VorbisOut.h"
#include "audio/WaveIn.h"

namespace {

struct OggPage {
    uint8_t flags = 0;
    int64_t granule = 0;
    uint32_t serial = 0;
};

struct OggFile {
    std::vector<OggPage> pages;
    std::vector<Bytes> packets;
};

/// Splits an Ogg file into pages and packets (enough for one or more chained streams).
OggFile ParseOgg(const Bytes& f)
{
    OggFile o;
    Bytes packet;
    size_t i = 0;
    while (i + 27 <= f.size() && std::equal(f.data() + i, f.data() + i + 4, "OggS")) {
        OggPage p;
        p.flags = f[i + 5];
        p.granule = static_cast<int64_t>(GetLE32(&f[i + 6])) |
                    (static_cast<int64_t>(GetLE32(&f[i + 10])) << 32);
        p.serial = GetLE32(&f[i + 14]);
        const size_t segs = f[i + 26];
        size_t body = i + 27 + segs;
        for (size_t s = 0; s < segs; ++s) {
            const size_t len = f[i + 27 + s];
            packet.insert(packet.end(), f.data() + body, f.data() + body + len);
            body += len;
            if (len < 255) {
                o.packets.push_back(packet);
                packet.clear();
            }
        }
        o.pages.push_back(p);
        i = body;
    }
    return o;
}

/// The user comments of a comment header packet.
QStringList CommentsOf(const Bytes& packet)
{
    QStringList out;
    size_t i = 7;
    i += 4 + GetLE32(&packet[i]);
    const uint32_t n = GetLE32(&packet[i]);
    i += 4;
    for (uint32_t k = 0; k < n; ++k) {
        const uint32_t len = GetLE32(&packet[i]);
        out << QString::fromUtf8(reinterpret_cast<const char*>(&packet[i + 4]),
                                 static_cast<qsizetype>(len));
        i += 4 + len;
    }
    return out;
}

class AudioVorbisOut : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadVorbisLibraries()) << VorbisLibraryError().toStdString();
    }

    QString Path(const char* name) const
    {
        return dir.path() + QStringLiteral("/") + QString::fromUtf8(name);
    }

    Bytes Encode(TACSInput& src, const char* name,
                 const std::function<void(TVorbisOut&)>& setup = {})
    {
        TVorbisOut out;
        TSinkWatcher w(out);
        out.SetFileName(Path(name));
        out.SetInput(&src);
        if (setup)
            setup(out);
        RunToEnd(out, w);
        lastError = w.lastError();
        EXPECT_TRUE(out.Comments().isEmpty()); // cleared by Done after every job
        return LoadBytes(Path(name));
    }

    /// Decodes with oggdec (libvorbisfile, sample-exact) to a WAV file and reads it back;
    /// false when oggdec is missing or fails.
    bool Decode(const char* name, Bytes& pcm, int* channels = nullptr, int* rate = nullptr)
    {
        if (!HaveProgram(QStringLiteral("oggdec")))
            return false;
        const QString wav = Path(name) + QStringLiteral(".wav");
        if (RunProgram(QStringLiteral("oggdec"),
                       {QStringLiteral("-Q"), QStringLiteral("-o"), wav, Path(name)}) != 0)
            return false;
        TWaveIn in;
        in.SetFileName(wav);
        if (channels)
            *channels = in.Channels();
        if (rate)
            *rate = in.SampleRate();
        pcm = ReadAll(in);
        return true;
    }

    QTemporaryDir dir;
    QString lastError;
};

} // namespace

TEST_F(AudioVorbisOut, BitrateSettersDependOnTheirOrder)
{
    TVorbisOut v;
    EXPECT_FLOAT_EQ(v.Compression(), 0.2f);
    EXPECT_EQ(v.DesiredNominalBitrate(), brAutoSelect);

    v.SetDesiredMaximumBitrate(br192); // ignored: the nominal is still automatic
    EXPECT_EQ(v.DesiredMaximumBitrate(), brAutoSelect);
    v.SetMinimumBitrate(br64); // ignored: above the nominal
    EXPECT_EQ(v.MinimumBitrate(), brAutoSelect);
    v.SetDesiredNominalBitrate(br128); // raises the maximum to itself
    EXPECT_EQ(v.DesiredMaximumBitrate(), br128);
    v.SetDesiredMaximumBitrate(br96); // below the nominal: ignored
    EXPECT_EQ(v.DesiredMaximumBitrate(), br128);
    v.SetDesiredMaximumBitrate(br192);
    EXPECT_EQ(v.DesiredMaximumBitrate(), br192);
    v.SetMinimumBitrate(br160); // above the nominal: ignored
    EXPECT_EQ(v.MinimumBitrate(), brAutoSelect);
    v.SetMinimumBitrate(br96);
    EXPECT_EQ(v.MinimumBitrate(), br96);
    v.SetDesiredNominalBitrate(br64); // below the minimum: lowers it
    EXPECT_EQ(v.MinimumBitrate(), br64);
    EXPECT_EQ(v.DesiredMaximumBitrate(), br192);
    v.SetDesiredNominalBitrate(brAutoSelect); // quality mode again
    EXPECT_EQ(v.DesiredMaximumBitrate(), brAutoSelect);
    EXPECT_EQ(v.MinimumBitrate(), brAutoSelect);

    v.SetDesiredNominalBitrate(br128);
    const TVorbisOut::TManagedRates r = v.ManagedRates();
    EXPECT_EQ(r.maximum, 128000);
    EXPECT_EQ(r.nominal, 128000);
    EXPECT_EQ(r.minimum, 128000);
    EXPECT_EQ(TVorbisOut::BitrateOf(br499), 499000);
    EXPECT_EQ(TVorbisOut::BitrateOf(brAutoSelect), -1);

    v.SetCompression(1.5f); // outside the encoder's scale
    EXPECT_FLOAT_EQ(v.Compression(), 0.2f);
}

TEST_F(AudioVorbisOut, QualityModeStereoDecodesToTheSameLengthAndFormat)
{
    const int frames = 44100;
    TMemorySource src(ToBytes(Sine(frames, 2, 44100)), 44100, 2, 16);
    src.chunk = 16384; // as the WAV reader delivers
    const Bytes f = Encode(src, "q.ogg");
    EXPECT_TRUE(lastError.isEmpty());
    const OggFile o = ParseOgg(f);
    ASSERT_GE(o.packets.size(), 4u);
    const Bytes& id = o.packets[0];
    ASSERT_EQ(id[0], 1);
    EXPECT_EQ(id[11], 2);                      // channels
    EXPECT_EQ(GetLE32(&id[12]), 44100u);       // rate
    EXPECT_TRUE(o.pages.back().flags & 4);     // end of stream
    EXPECT_EQ(o.pages.back().granule, frames); // every frame accounted for

    Bytes pcm;
    int channels = 0, rate = 0;
    if (!Decode("q.ogg", pcm, &channels, &rate))
        GTEST_SKIP() << "oggdec not available";
    EXPECT_EQ(pcm.size(), static_cast<size_t>(frames) * 4);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
}

TEST_F(AudioVorbisOut, ManagedModeWritesTheChosenBitrates)
{
    TMemorySource src(ToBytes(Sine(22050, 2, 44100)), 44100, 2, 16);
    const Bytes f = Encode(src, "m.ogg", [](TVorbisOut& v) { v.SetDesiredNominalBitrate(br128); });
    const OggFile o = ParseOgg(f);
    ASSERT_FALSE(o.packets.empty());
    const Bytes& id = o.packets[0];
    EXPECT_EQ(GetLE32(&id[16]), 128000u); // maximum
    EXPECT_EQ(GetLE32(&id[20]), 128000u); // nominal
    EXPECT_EQ(GetLE32(&id[24]), 128000u); // minimum
}

TEST_F(AudioVorbisOut, MonoAndEightBitInput)
{
    Bytes u8(11025);
    for (size_t i = 0; i < u8.size(); ++i)
        u8[i] = static_cast<uint8_t>(128 + 90 * std::sin(static_cast<double>(i) * 0.1));
    TMemorySource src(u8, 22050, 1, 8);
    Encode(src, "m8.ogg");
    Bytes pcm;
    int channels = 0, rate = 0;
    if (!Decode("m8.ogg", pcm, &channels, &rate))
        GTEST_SKIP() << "oggdec not available";
    ASSERT_EQ(pcm.size(), 11025u * 2);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 22050);
    // Audio, not noise: the decode follows the widened input closely.
    const std::vector<int16_t> s = ToSamples(pcm);
    double err = 0, sig = 0;
    for (size_t i = 2000; i < 9000; ++i) {
        const double ref = (u8[i] - 128) * 256.0;
        sig += ref * ref;
        err += (s[i] - ref) * (s[i] - ref);
    }
    EXPECT_GT(10 * std::log10(sig / err), 15.0);
}

TEST_F(AudioVorbisOut, EmptyInputGivesHeadersAndAnEndOfStreamPage)
{
    TMemorySource src(Bytes{}, 44100, 2, 16);
    const Bytes f = Encode(src, "e.ogg");
    const OggFile o = ParseOgg(f);
    ASSERT_GE(o.pages.size(), 2u);
    EXPECT_TRUE(o.pages.front().flags & 2); // beginning of stream
    EXPECT_TRUE(o.pages.back().flags & 4);
    ASSERT_GE(o.packets.size(), 3u);
    EXPECT_EQ(o.packets[0][0], 1);
    EXPECT_EQ(o.packets[1][0], 3);
    EXPECT_EQ(o.packets[2][0], 5);
    Bytes pcm;
    if (!Decode("e.ogg", pcm))
        GTEST_SKIP() << "oggdec not available";
    EXPECT_TRUE(pcm.empty());
}

TEST_F(AudioVorbisOut, CommentsAndSerialLastOneJob)
{
    TMemorySource src(ToBytes(Sine(4410, 2, 44100)), 44100, 2, 16);
    TVorbisOut v;
    TSinkWatcher w(v);
    v.SetInput(&src);
    v.SetFileName(Path("c1.ogg"));
    v.SetComments({QStringLiteral("ARTIST=A"), QStringLiteral("TITLE=Tëst"),
                   QStringLiteral("ARTIST=B"), QStringLiteral("no equals sign")});
    v.SetSerial(77);
    RunToEnd(v, w);
    EXPECT_TRUE(v.Comments().isEmpty());
    OggFile o = ParseOgg(LoadBytes(Path("c1.ogg")));
    EXPECT_EQ(o.pages.front().serial, 77u);
    EXPECT_EQ(CommentsOf(o.packets[1]),
              (QStringList{QStringLiteral("ARTIST=A"), QStringLiteral("TITLE=Tëst"),
                           QStringLiteral("ARTIST=B")}));

    v.SetFileName(Path("c2.ogg"));
    RunToEnd(v, w);
    o = ParseOgg(LoadBytes(Path("c2.ogg")));
    EXPECT_TRUE(CommentsOf(o.packets[1]).isEmpty());
}

TEST_F(AudioVorbisOut, EveryStreamDrawsItsOwnSerial)
{
    // Chaining files, or a player moving from one to the next, tells streams apart by serial.
    TMemorySource src(ToBytes(Sine(4410, 2, 44100)), 44100, 2, 16);
    TVorbisOut v;
    TSinkWatcher w(v);
    v.SetInput(&src);
    std::vector<uint32_t> serials;
    for (const char* name : {"d1.ogg", "d2.ogg"}) {
        v.SetFileName(Path(name));
        RunToEnd(v, w);
        const OggFile o = ParseOgg(LoadBytes(Path(name)));
        serials.push_back(o.pages.front().serial);
        EXPECT_EQ(static_cast<uint32_t>(v.Serial()), serials.back());
        EXPECT_NE(serials.back(), 0u);
        QByteArray report;
        if (HaveProgram(QStringLiteral("ogginfo"))) {
            EXPECT_EQ(RunProgram(QStringLiteral("ogginfo"), {Path(name)}, report), 0);
            EXPECT_FALSE(report.contains("Note:") || report.contains("WARNING"))
                << report.toStdString();
        }
    }
    EXPECT_NE(serials[0], serials[1]);
}

TEST_F(AudioVorbisOut, AStoppedEncodeLeavesAValidFileOfWhatWasEncoded)
{
    const int frames = 44100 * 20;
    TMemorySource src(ToBytes(Sine(frames, 2, 44100)), 44100, 2, 16);
    src.chunk = 16384;
    const int64_t stopAt = 44100 * 4 * 3; // three seconds in
    src.holdAt = stopAt;
    TVorbisOut v;
    TSinkWatcher w(v);
    v.SetInput(&src);
    v.SetFileName(Path("p.ogg"));
    v.Run();
    ASSERT_TRUE(src.gate.WaitHeld());
    v.Pause();
    src.gate.Open();
    v.Done();
    EXPECT_EQ(w.doneCount(), 0);
    EXPECT_FALSE(v.Failed());
    EXPECT_FALSE(src.Busy());
    const int64_t delivered = src.Position();
    EXPECT_GE(delivered, stopAt);
    EXPECT_LT(delivered, int64_t{frames} * 4);

    const OggFile o = ParseOgg(LoadBytes(Path("p.ogg")));
    ASSERT_GE(o.pages.size(), 3u);
    EXPECT_TRUE(o.pages.back().flags & 4);            // the stream has its end
    EXPECT_EQ(o.pages.back().granule, delivered / 4); // of every frame read before the stop

    // What players check: no warning from ogginfo, no error from ffprobe.
    QByteArray report;
    if (HaveProgram(QStringLiteral("ogginfo"))) {
        EXPECT_EQ(RunProgram(QStringLiteral("ogginfo"), {Path("p.ogg")}, report), 0)
            << report.toStdString();
        EXPECT_FALSE(report.contains("WARNING") || report.contains("ERROR"))
            << report.toStdString();
    }
    if (HaveProgram(QStringLiteral("ffprobe"))) {
        EXPECT_EQ(RunProgram(QStringLiteral("ffprobe"),
                             {QStringLiteral("-v"), QStringLiteral("error"), Path("p.ogg")},
                             report),
                  0);
        EXPECT_TRUE(report.trimmed().isEmpty()) << report.toStdString();
    }
    Bytes pcm;
    if (!Decode("p.ogg", pcm))
        GTEST_SKIP() << "oggdec not available";
    EXPECT_EQ(static_cast<int64_t>(pcm.size()), delivered);
}

TEST_F(AudioVorbisOut, AFailedInputStillLeavesAValidFileOfWhatWasEncoded)
{
    TMemorySource src(ToBytes(Sine(44100 * 5, 2, 44100)), 44100, 2, 16);
    src.chunk = 16384;
    src.failAfter = 16384 * 20;
    const Bytes f = Encode(src, "fail.ogg");
    EXPECT_EQ(lastError, QStringLiteral("source failed"));
    const OggFile o = ParseOgg(f);
    ASSERT_GE(o.pages.size(), 3u);
    EXPECT_TRUE(o.pages.back().flags & 4);
    Bytes pcm;
    if (!Decode("fail.ogg", pcm))
        GTEST_SKIP() << "oggdec not available";
    EXPECT_GT(pcm.size(), 0u);
    EXPECT_LE(pcm.size(), 16384u * 20);
}

TEST_F(AudioVorbisOut, AFileThatCannotBeWrittenIsRemovedOrRestored)
{
    // A page that does not reach the disk cannot be mended: rather than leave a file players
    // call broken, the job removes what it wrote and reports the failure.
    TMemorySource src(ToBytes(Sine(44100 * 10, 2, 44100)), 44100, 2, 16);
    {
        TFileSizeLimit limit(12000);
        ASSERT_TRUE(limit.ok());
        Encode(src, "full.ogg");
    }
    EXPECT_TRUE(lastError.endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << lastError.toStdString();
    EXPECT_FALSE(QFile::exists(Path("full.ogg")));
    EXPECT_FALSE(src.Busy());

    // Appending: the old content stays, and nothing after it.
    const Bytes old = [&] {
        TMemorySource a(ToBytes(Sine(4410, 2, 44100)), 44100, 2, 16);
        return Encode(a, "old.ogg");
    }();
    ASSERT_TRUE(lastError.isEmpty());
    {
        TFileSizeLimit limit(static_cast<rlim_t>(old.size()) + 8000);
        ASSERT_TRUE(limit.ok());
        Encode(src, "old.ogg", [](TVorbisOut& v) { v.SetFileMode(foAppend); });
    }
    EXPECT_FALSE(lastError.isEmpty());
    EXPECT_EQ(LoadBytes(Path("old.ogg")), old);
}

TEST_F(AudioVorbisOut, AnOutputThatIsTheInputIsRefusedUntouched)
{
    const Bytes original = MakeOneInputUnderManyNames(dir.path(), "pcm_s16_stereo_22050.wav");
    ASSERT_FALSE(HasFailure());
    for (const char* name : kOneInputNames) {
        for (const TFileOutputMode mode : {foRewrite, foAppend}) {
            SCOPED_TRACE(name);
            TWaveIn in;
            in.SetFileName(Path("in.wav"));
            TVorbisOut v;
            TSinkWatcher w(v);
            v.SetInput(&in);
            v.SetFileName(Path(name));
            v.SetFileMode(mode);
            RunToEnd(v, w);
            EXPECT_EQ(w.doneCount(), 0);
            EXPECT_EQ(w.lastError(),
                      QStringLiteral("The output file \"%1\" is the input file.").arg(Path(name)));
            EXPECT_EQ(LoadBytes(Path("in.wav")), original);
            EXPECT_FALSE(in.Busy());
        }
    }
}

TEST_F(AudioVorbisOut, AppendingChainsANewStreamAfterTheOldBytes)
{
    TMemorySource src(ToBytes(Sine(4410, 2, 44100)), 44100, 2, 16);
    const Bytes first = Encode(src, "a.ogg");
    const Bytes both = Encode(src, "a.ogg", [](TVorbisOut& v) {
        v.SetFileMode(foAppend);
        v.SetSerial(5);
    });
    ASSERT_GT(both.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), both.begin()));
    const OggFile o = ParseOgg(both);
    EXPECT_EQ(
        std::count_if(o.pages.begin(), o.pages.end(), [](const OggPage& p) { return p.flags & 2; }),
        2);
    EXPECT_EQ(o.pages.back().serial, 5u);
}

TEST_F(AudioVorbisOut, UnencodableInputIsReportedAndLeavesAnExistingFileAlone)
{
    SaveBytes(Path("keep.ogg"), Bytes(50, 3));
    TMemorySource src(Bytes(100, 0), 0, 2, 16);
    Encode(src, "keep.ogg");
    EXPECT_EQ(lastError, QStringLiteral("Cannot encode this audio format into Ogg Vorbis."));
    EXPECT_EQ(LoadBytes(Path("keep.ogg")), Bytes(50, 3));
    EXPECT_FALSE(src.Busy());

    TMemorySource named(Bytes(100, 0), 44100, 2, 16);
    TVorbisOut v;
    TSinkWatcher w(v);
    v.SetInput(&named);
    RunToEnd(v, w);
    EXPECT_EQ(w.lastError(), QStringLiteral("File name is not assigned."));
}

TEST(AudioVorbisLibraries, MissingLibrariesAreNamedInLoadOrder)
{
    const char* files[] = {"libogg.so.0", "libvorbis.so.0", "libvorbisfile.so.3",
                           "libvorbisenc.so.2"};
    for (int i = 0; i < 4; ++i) {
        UnloadVorbisLibraries();
        SimulateMissingVorbisLibraryForTests(i);
        EXPECT_FALSE(LoadVorbisLibraries());
        const QString expected =
            QString::fromLatin1(files[i]) + QStringLiteral(" library could not be loaded.");
        EXPECT_EQ(VorbisLibraryError(), expected);
        try {
            TVorbisOut v;
            ADD_FAILURE() << "created without " << files[i];
        } catch (const EACSException& e) {
            EXPECT_EQ(e.text(), expected);
        }
    }
    UnloadVorbisLibraries();
    SimulateMissingVorbisLibraryForTests(-1);
    EXPECT_TRUE(LoadVorbisLibraries());
    EXPECT_TRUE(VorbisLibraryError().isEmpty());
    EXPECT_NO_THROW(TVorbisOut());
}
