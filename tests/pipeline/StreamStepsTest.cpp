#include <array>
#include <csignal>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include "audio/VorbisApi.h"
#include "audio/VorbisOut.h"
#include "cd/OpenDrive.h"
#include "core/AppException.h"
#include "core/MessageBoxService.h"
#include "core/Settings.h"
#include "encoders/EncoderTestSupport.h"
#include "encoders/Mp3EncodeProcess.h"
#include "encoders/WMAEncodeProcess.h"
#include "pipeline/RipJob.h"
#include "pipeline/StreamSteps.h"
#include "platform/cdaccess/DiscFixture.h"
#include "support/TestSupport.h"

namespace {

class StreamSteps : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetOptionsSetting();
        TCommonOptions& c = OptionsSetting().CommonOptions;
        c.OutputFolder = dir.File(QStringLiteral("Output"));
        c.NormalizePercent = 95;
        OptionsSetting().Mp3Options = {false, false, 128, 320, 0, 4, 1};
        OptionsSetting().OggOptions = {true, 30, 0, 0, 0};
        QDir().mkpath(c.OutputFolder);
        QDir().mkpath(dir.File(QStringLiteral("in")));
    }
    void TearDown() override { ResetOptionsSetting(); }

    QString In(const QString& name) { return dir.File(QStringLiteral("in/")) + name; }
    QString Out(const QString& name) { return dir.File(QStringLiteral("Output/")) + name; }
    /// A stereo or mono 16-bit WAV of a tone, made by sox.
    QString Wav(const QString& name, int rate, int channels = 2, double seconds = 1.5)
    {
        const QString path = In(name);
        RunProgram(QStringLiteral("sox"),
                   {QStringLiteral("-n"), QStringLiteral("-r"), QString::number(rate),
                    QStringLiteral("-c"), QString::number(channels), QStringLiteral("-b"),
                    QStringLiteral("16"), path, QStringLiteral("synth"), QString::number(seconds),
                    QStringLiteral("sine"), QStringLiteral("440")});
        return path;
    }
    bool Run(TRipJob& job, QStringList* groups = nullptr, int seconds = 60)
    {
        bool closed = false;
        QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
        if (groups != nullptr) {
            *groups << job.View().GroupCaption;
            QObject::connect(&job, &TRipJob::ViewChanged, [&job, groups] {
                if (groups->last() != job.View().GroupCaption)
                    *groups << job.View().GroupCaption;
            });
        }
        return WaitUntil([&] { return closed; }, std::chrono::seconds(seconds));
    }
    TJobRunners Runners() { return {&mp3, &wma}; }

    ProgramDirScope dir;
    ScriptedMessageBoxService boxes;
    TMp3EncodeProcess mp3;
    TWMAEncodeProcess wma;
};

/// "codec_name,sample_rate,channels,duration" of the first audio stream, as ffprobe reports it.
QStringList Probe(const QString& path)
{
    const QByteArray out = RunAndCapture(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
         QStringLiteral("a:0"), QStringLiteral("-show_entries"),
         QStringLiteral("stream=codec_name,sample_rate,channels:format=duration"),
         QStringLiteral("-of"), QStringLiteral("default=nw=1:nk=1"), path});
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST_F(StreamSteps, WavToMp3ResamplesOnlyWhatIsSlower)
{
    const QString slow = Wav(QStringLiteral("slow.wav"), 22050);
    const QString fast = Wav(QStringLiteral("fast.wav"), 48000, 1);
    QStringList groups;
    TRipJob job(jkWavToMp3, 0, {slow, fast}, Runners());
    EXPECT_EQ(job.View().Caption, QStringLiteral("Resampling(01/02): ") + slow);
    ASSERT_TRUE(Run(job, &groups));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(groups.first(), QStringLiteral("Resampling WAV"));
    EXPECT_TRUE(groups.contains(QStringLiteral("Encoding")));
    const QStringList a = Probe(Out(QStringLiteral("slow.mp3")));
    const QStringList b = Probe(Out(QStringLiteral("fast.mp3")));
    ASSERT_GE(a.size(), 3);
    ASSERT_GE(b.size(), 3);
    EXPECT_EQ(a[0], QStringLiteral("mp3"));
    EXPECT_EQ(a[1], QStringLiteral("44100"));
    EXPECT_EQ(b[1], QStringLiteral("48000"));
    EXPECT_EQ(b[2], QStringLiteral("1"));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp.wav"))));
}

TEST_F(StreamSteps, WavToOggAtEveryRateAndLayout)
{
    QStringList inputs;
    for (int rate : {8000, 22050, 32000, 44100, 48000})
        for (int ch : {1, 2})
            inputs << Wav(QStringLiteral("t%1_%2.wav").arg(rate).arg(ch), rate, ch, 1.0);
    QStringList groups;
    TRipJob job(jkWavToOgg, 0, inputs, Runners());
    ASSERT_TRUE(Run(job, &groups, 120));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(groups.first(), QStringLiteral("Resampling WAV"));
    for (const QString& in : inputs) {
        const QString name = QFileInfo(in).completeBaseName();
        const QStringList p = Probe(Out(name + QStringLiteral(".ogg")));
        ASSERT_GE(p.size(), 4) << name.toStdString();
        EXPECT_EQ(p[0], QStringLiteral("vorbis"));
        const int rate = name.section(QLatin1Char('_'), 0, 0).mid(1).toInt();
        EXPECT_EQ(p[1].toInt(), std::max(rate, 44100)) << name.toStdString();
        EXPECT_EQ(p[2], name.section(QLatin1Char('_'), 1, 1)) << name.toStdString();
        EXPECT_NEAR(p[3].toDouble(), 1.0, 0.05) << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyReTemp.wav"))));
}

TEST_F(StreamSteps, OggFirstStepCaptionsAndQualitySettings)
{
    const QString cd = Wav(QStringLiteral("cd.wav"), 44100);
    TRipJob job(jkWavToOgg, 0, {cd}, Runners());
    EXPECT_EQ(job.View().GroupCaption, QStringLiteral("Encoding WAV to OGG"));
    EXPECT_EQ(job.View().Caption, QStringLiteral("Encoding(01/01): ") + cd);
    TVorbisOut& v = job.Streams().VorbisOut1();
    EXPECT_FLOAT_EQ(v.Compression(), 0.2f);
    EXPECT_EQ(v.DesiredMaximumBitrate(), brAutoSelect);
    EXPECT_EQ(v.DesiredNominalBitrate(), brAutoSelect);
    EXPECT_EQ(v.MinimumBitrate(), brAutoSelect);
    ASSERT_TRUE(Run(job));
}

/// Upper, nominal and lower bit rate of an Ogg Vorbis file's identification header.
std::array<int32_t, 3> VorbisHeaderBitrates(const QString& path)
{
    const QByteArray ogg = ReadWholeFile(path);
    const qsizetype at = ogg.indexOf(QByteArray("\x01vorbis", 7));
    if (at < 0 || ogg.size() < at + 28)
        return {-1, -1, -1};
    const auto le32 = [&](qsizetype i) {
        return int32_t(uint32_t(uint8_t(ogg[i])) | uint32_t(uint8_t(ogg[i + 1])) << 8 |
                       uint32_t(uint8_t(ogg[i + 2])) << 16 | uint32_t(uint8_t(ogg[i + 3])) << 24);
    };
    return {le32(at + 16), le32(at + 20), le32(at + 24)};
}

TEST_F(StreamSteps, EveryFileOfAJobGetsTheChosenManagedBitrates)
{
    OptionsSetting().OggOptions = {false, 30, 11, 8, 4}; // max 192, nominal 128, min 64
    const QString a = Wav(QStringLiteral("a.wav"), 44100);
    const QString b = Wav(QStringLiteral("b.wav"), 44100);
    const QString c = Wav(QStringLiteral("c.wav"), 22050);
    TRipJob job(jkWavToOgg, 0, {a, b, c}, Runners());
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    // The first file used to get the nominal as its maximum, the later ones the chosen maximum.
    for (const char* name : {"a.ogg", "b.ogg", "c.ogg"})
        EXPECT_EQ(VorbisHeaderBitrates(Out(QString::fromLatin1(name))),
                  (std::array<int32_t, 3>{192000, 128000, 64000}))
            << name;
}

TEST_F(StreamSteps, AStoppedOggEncodeLeavesNoPartOfTheFile)
{
    const QString longWav = Wav(QStringLiteral("long.wav"), 44100, 2, 120);
    // Stopped by the button, and by closing the window.
    for (const bool button : {true, false}) {
        {
            TRipJob job(jkWavToOgg, 0, {longWav}, Runners());
            ASSERT_TRUE(WaitUntil([&] { return job.View().Bar >= 3; }));
            if (button) {
                bool closed = false;
                QObject::connect(&job, &TRipJob::CloseRequested, [&] { closed = true; });
                job.Stop();
                ASSERT_TRUE(WaitUntil([&] { return closed; }));
            } else {
                job.Cleanup();
            }
        }
        // A part of the track would pass for all of it.
        EXPECT_TRUE(QDir(Out(QString()))
                        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                        .isEmpty())
            << button;
    }
}

TEST_F(StreamSteps, StopDuringResamplingLeavesNoTemporaryFile)
{
    const QString longWav = Wav(QStringLiteral("long.wav"), 22050, 2, 240);
    {
        TRipJob job(jkWavToOgg, 0, {longWav}, Runners());
        ASSERT_TRUE(WaitUntil([&] { return job.View().Bar >= 2; }));
        EXPECT_EQ(job.View().GroupCaption, QStringLiteral("Resampling WAV"));
        job.Stop();
    }
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyReTemp.wav"))));
}

TEST_F(StreamSteps, ThreeTrackRipToOgg)
{
    QDir().mkpath(dir.File(QStringLiteral("discs")));
    MakeImage(dir.File(QStringLiteral("discs")), QStringLiteral("Disc"), {75, 90, 60});
    const int handle = OpenDrive(0).Handle;
    ASSERT_NE(handle, 0);
    OptionsSetting().CommonOptions.OutputFormat = ofOGG;
    {
        TRipJob job(jkRipTracks, handle,
                    {QStringLiteral("01A"), QStringLiteral("02B"), QStringLiteral("03C")},
                    Runners());
        ASSERT_TRUE(Run(job));
        EXPECT_EQ(job.OggIndex(), 3);
    }
    CloseCDHandle(handle);
    QSet<QByteArray> serials; // bytes 14..17 of the first page
    for (const char* t : {"A", "B", "C"}) {
        const QString path = Out(QString::fromLatin1(t) + QStringLiteral(".ogg"));
        const QStringList p = Probe(path);
        ASSERT_GE(p.size(), 1) << t;
        EXPECT_EQ(p[0], QStringLiteral("vorbis"));
        serials.insert(ReadWholeFile(path).mid(14, 4));
    }
    EXPECT_EQ(serials.size(), 3);
    EXPECT_FALSE(serials.contains(QByteArray(4, '\0')));
    EXPECT_EQ(QDir(Out(QString())).entryList({QStringLiteral("*.wav")}, QDir::Files),
              QStringList());
}

TEST_F(StreamSteps, BadInputsNeitherCrashNorLeaveTemporaryFiles)
{
    const QString notWav = In(QStringLiteral("notes.wav"));
    WriteWholeFile(notWav, "this is not audio at all");
    const QString empty = In(QStringLiteral("empty.wav"));
    WriteWholeFile(empty, QByteArray());
    const QString floatWav = In(QStringLiteral("float.wav"));
    RunProgram(QStringLiteral("sox"),
               {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-b"),
                QStringLiteral("32"), floatWav, QStringLiteral("synth"), QStringLiteral("0.5"),
                QStringLiteral("sine"), QStringLiteral("300")});
    const QString alaw = In(QStringLiteral("alaw.wav"));
    RunProgram(QStringLiteral("sox"),
               {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("8000"),
                QStringLiteral("-c"), QStringLiteral("1"), QStringLiteral("-e"),
                QStringLiteral("a-law"), alaw, QStringLiteral("synth"), QStringLiteral("0.5"),
                QStringLiteral("sine"), QStringLiteral("300")});
    const QString good = Wav(QStringLiteral("good.wav"), 22050);
    const QString gone = Wav(QStringLiteral("gone.wav"), 22050);
    QFile::remove(gone); // deleted between picking and converting
    {
        TRipJob job(jkWavToOgg, 0, {notWav, empty, floatWav, alaw, gone, good}, Runners());
        ASSERT_TRUE(Run(job));
    }
    const QString refused = QStringLiteral(" is not a WAV file that can be converted (%1).");
    EXPECT_EQ(boxes.Texts(),
              (QStringList{notWav + refused.arg(QStringLiteral("no RIFF WAVE format chunk")),
                           empty + refused.arg(QStringLiteral("no RIFF WAVE format chunk")),
                           alaw + refused.arg(QStringLiteral("format tag 6, 8 bits, 1 channel")),
                           gone + QStringLiteral(" does not exist.")}));
    // Float is rounded to 16 bits on the way into the encoder.
    EXPECT_EQ(QDir(Out(QString())).entryList(QDir::Files),
              (QStringList{QStringLiteral("float.ogg"), QStringLiteral("good.ogg")}));
    {
        TRipJob job(jkWavToMp3, 0, {notWav, good}, Runners());
        ASSERT_TRUE(Run(job));
    }
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp.wav"))));
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("good.mp3"))));
}

TEST_F(StreamSteps, FloatWavToMp3KeepsItsLevel)
{
    // lame reads a float WAV at almost twice its level; a half-scale tone must stay half scale
    // on both paths of the job.
    for (int parallel : {1, 2}) {
        OptionsSetting().CommonOptions.ParallelEncoders = parallel;
        const QString name = QStringLiteral("float%1").arg(parallel);
        RunProgram(QStringLiteral("sox"),
                   {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                    QStringLiteral("-e"), QStringLiteral("floating-point"), QStringLiteral("-b"),
                    QStringLiteral("32"), In(name + QStringLiteral(".wav")),
                    QStringLiteral("synth"), QStringLiteral("1"), QStringLiteral("sine"),
                    QStringLiteral("440"), QStringLiteral("vol"), QStringLiteral("0.5")});
        {
            TRipJob job(jkWavToMp3, 0, {In(name + QStringLiteral(".wav"))}, Runners());
            ASSERT_TRUE(Run(job));
        }
        EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
        const QByteArray pcm =
            RunAndCapture(QStringLiteral("ffmpeg"),
                          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                           Out(name + QStringLiteral(".mp3")), QStringLiteral("-f"),
                           QStringLiteral("s16le"), QStringLiteral("-")});
        int peak = 0;
        for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
            peak = std::max(peak,
                            std::abs(static_cast<int16_t>(static_cast<uint8_t>(pcm[i]) |
                                                          static_cast<uint8_t>(pcm[i + 1]) << 8)));
        EXPECT_NEAR(peak, 16384, 1500) << parallel;
        EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp.wav"))));
    }
}

TEST_F(StreamSteps, MissingVorbisLibraryMeansNoJobWindow)
{
    UnloadVorbisLibraries();
    SimulateMissingVorbisLibraryForTests(2);
    LoadVorbisLibraries();
    try {
        TRipJob job(jkWavToWma, 0, {In(QStringLiteral("x.wav"))}, Runners());
        FAIL() << "the job was created";
    } catch (const EAppException& e) {
        EXPECT_EQ(e.text(), QStringLiteral("libvorbisfile.so.3 library could not be loaded."));
    }
    UnloadVorbisLibraries();
    SimulateMissingVorbisLibraryForTests(-1);
    LoadVorbisLibraries();
}

TEST_F(StreamSteps, CompressedWavFlavoursConvert)
{
    // ADPCM and MPEG audio inside WAV files reach the encoder as PCM.
    const QStringList inputs{FixturesDir() + QStringLiteral("audio/mp3_in_wav.wav"),
                             FixturesDir() + QStringLiteral("audio/ms_stereo_sox.wav"),
                             FixturesDir() + QStringLiteral("audio/ima_mono_ffmpeg.wav")};
    TRipJob job(jkWavToOgg, 0, inputs, Runners());
    ASSERT_TRUE(Run(job));
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    for (const QString& in : inputs) {
        const QStringList p = Probe(Out(QFileInfo(in).completeBaseName() + QStringLiteral(".ogg")));
        ASSERT_GE(p.size(), 4) << in.toStdString();
        EXPECT_EQ(p[0], QStringLiteral("vorbis"));
        EXPECT_GT(p[3].toDouble(), 0.2) << in.toStdString();
    }
}

TEST_F(StreamSteps, AnInputNamedLikeTheTemporaryFileIsNeverItsVictim)
{
    // The user's own file carries the temporary file's name, in the output folder.
    const QString victim = Out(QStringLiteral("MyMP3ReTemp.wav"));
    ASSERT_TRUE(QFile::rename(Wav(QStringLiteral("v.wav"), 22050), victim));
    const QByteArray original = ReadWholeFile(victim);
    const QString other = Wav(QStringLiteral("other.wav"), 22050);
    {
        TRipJob job(jkWavToMp3, 0, {other, victim}, Runners());
        EXPECT_EQ(job.TempFile(), Out(QStringLiteral("MyMP3ReTemp1.wav")));
        ASSERT_TRUE(Run(job));
    }
    EXPECT_TRUE(boxes.Shown().empty()) << boxes.Texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ReadWholeFile(victim), original);
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("other.mp3"))));
    EXPECT_TRUE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp.mp3"))));
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp1.wav"))));
}

TEST_F(StreamSteps, AnMp3FailureAfterResamplingIsReported)
{
    // A lame that prints nothing and writes nothing: the resampling's progress must not pass
    // for the encoder's.
    WriteScript(dir.File(QStringLiteral("lame")), "exit 0\n");
    const QString slow = Wav(QStringLiteral("slow.wav"), 22050);
    {
        TRipJob job(jkWavToMp3, 0, {slow}, Runners());
        ASSERT_TRUE(Run(job));
    }
    EXPECT_EQ(boxes.Texts(), QStringList{QStringLiteral(
                                 "Create MP3 file error!\r\nPlease check the output and lame "
                                 "options or run application again.")});
}

TEST_F(StreamSteps, AResamplingThatCannotWriteItsFileNeverFeedsTheEncoder)
{
    const QString slow = Wav(QStringLiteral("slow.wav"), 22050, 2, 3.0); // 265 kB; 529 kB resampled
    // A file-size limit stands in for a full disk: the temporary file cannot grow past 300 kB.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = saved;
    limit.rlim_cur = 300 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    {
        TRipJob job(jkWavToMp3, 0, {slow}, Runners());
        EXPECT_TRUE(Run(job));
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(boxes.Texts().size(), 1);
    EXPECT_TRUE(boxes.Texts()[0].startsWith(QStringLiteral("Cannot write file")))
        << boxes.Texts()[0].toStdString();
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("slow.mp3")))) << "a truncated file was encoded";
    EXPECT_FALSE(QFile::exists(Out(QStringLiteral("MyMP3ReTemp.wav"))));
}
